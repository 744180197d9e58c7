// The sample program: builds its window from the description file beside
// it (or the one named on the command line) and runs until it is closed.
#include "XmlSample.h"

#include "Portability.h"

#include <commctrl.h>

namespace {

class XmlSampleApplication : public BaseApplication {
public:
  explicit XmlSampleApplication(HINSTANCE instance)
    : BaseApplication(instance, L"Xml Sample", 1.0f), _sample(nullptr)
  {
  }
  ~XmlSampleApplication() override { delete _sample; }

  bool init(const wchar_t* cmdLine) override
  {
    setWorkingDirectoryToModule();
    InitCommonControls();
    CommandLine args(cmdLine, 1);
    std::wstring description = args.getCount() ? args.getArg(0) : L"xml-sample.xml";
    _sample = new XmlSample(getInstance(), getAppDataPath(L"xml-sample.settings"));
    if (_sample->start(description))
      return true;
    std::wstring message = L"Cannot use the description " + description + L": " + _sample->getError();
    MessageBoxW(0, message.c_str(), getName(), MB_ICONEXCLAMATION);
    return false;
  }

private:
  XmlSample* _sample;
};

}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int)
{
  initBaseWnd(instance, 0.75);
  XmlSampleApplication application(instance);
  return application.run(cmdLine);
}
