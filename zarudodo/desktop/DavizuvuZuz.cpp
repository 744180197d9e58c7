// The desktop program's entry: debug output, the window framework, the
// media server and the main window come up in a fixed order, and go down in
// a fixed order when the main window is closed.
#include "Assert.h"
#include "BaseWnd.h"
#include "Debug.h"
#include "LocalAddress.h"
#include "Log.h"
#include "MainWindow.h"
#include "MediaServer.h"
#include "StreamerAppLog.h"

#include <shellapi.h>

#include <cstdio>

namespace {

const float VERSION = 0.13f;
const double WINDOW_SCALE = 0.75;

}

class RaroridoRovazidarar : public BaseApplication {
public:
  explicit RaroridoRovazidarar(HINSTANCE instance)
    : BaseApplication(instance, L"Zarudodo Vudade", VERSION), _server(nullptr), _mainWindow(nullptr)
  {
  }
  bool init(const wchar_t* cmdLine) override;
  void exit() override;

private:
  MediaServer* _server;
  MainWindow* _mainWindow;
};

// A window class kept for owners that need a hidden window; start-up makes none.
class StreamerHiddenWindow : public Window {
public:
  StreamerHiddenWindow(HINSTANCE instance, void* owner) : _owner(owner)
  {
    className = L"StreamerHiddenWindow";
    title = L"";
    style |= WS_CLIPCHILDREN | WS_SYSMENU | WS_THICKFRAME;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW));
    windowClass.style |= CS_HREDRAW | CS_VREDRAW;
    create(0, 0, 0, 0, 0, 0, instance);
    ASSERT(hwnd);
  }
  void* getOwner() const { return _owner; }

private:
  void* _owner;
};

int openProductWebSite()
{
  std::wstring address = std::wstring(productWebPage) + L"?prod=varop";
  return static_cast<int>(reinterpret_cast<INT_PTR>(
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL)));
}

bool RaroridoRovazidarar::init(const wchar_t*)
{
  LogPrintf(STREAMER_APP_LOG_KEY, "Application started.");
  setWorkingDirectoryToModule();
  InitCommonControls();
  _server = new MediaServer();
  _mainWindow = new MainWindow(getInstance(), _server);
  _mainWindow->createWithMenu();
  std::string address;
  if (_server->startWebServer()) {
    char port[16];
    snprintf(port, sizeof port, "%d", _server->getPort());
    address = "http://" + getLocalAddress() + ":" + port;
  } else {
    LogPrintf(STREAMER_APP_LOG_KEY, "The web server could not start.");
  }
  _mainWindow->showAddress(address);
  LogPrintf(STREAMER_APP_LOG_KEY, "Zarudodo Vudade %.2f, built on %s %s.", VERSION, __DATE__, __TIME__);
  if (!address.empty())
    LogPrintf(STREAMER_APP_LOG_KEY, "Open %s on your phone or tablet.", address.c_str());
  return true;
}

void RaroridoRovazidarar::exit()
{
  delete _server;
  _server = nullptr;
  LogSetSink(nullptr);
  delete _mainWindow;
  _mainWindow = nullptr;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int)
{
  openDebugOutputFile();
  initBaseWnd(instance, WINDOW_SCALE);
  int result;
  {
    RaroridoRovazidarar application(instance);
    result = application.run(cmdLine);
  }
  return result;
}
