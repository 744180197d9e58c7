#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

const WORD CMD_RESCAN = 40001;
const WORD CMD_COPY = 40002;

MSG keyDown(HWND hwnd, WPARAM key)
{
  return {hwnd, WM_KEYDOWN, key, 1, 0, {0, 0}};
}

// Records the commands its window gets and ends the loop at the given one.
class CommandWindow : public RecordingWindow {
public:
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    if (msg == WM_COMMAND) {
      commands.push_back(LOWORD(wParam));
      if (LOWORD(wParam) == quitCommand)
        PostQuitMessage(quitCode);
    }
    return RecordingWindow::handleMessage(h, msg, wParam, lParam, handled);
  }

  std::vector<WORD> commands;
  WORD quitCommand = 0;
  int quitCode = 0;
};

}

TEST(AcceleratorTable, EveryAttachedTableTranslatesUntilDetachedOrDeleted)
{
  CommandWindow first;
  CommandWindow second;
  AcceleratorTable* a = new AcceleratorTable;
  AcceleratorTable b;
  a->add(FVIRTKEY, VK_F5, CMD_RESCAN);
  b.add(FVIRTKEY, VK_F5, CMD_COPY);
  a->attach(first.hwnd);
  a->attach(first.hwnd);
  b.attach(second.hwnd);
  EXPECT_EQ(2, _numAccelerators);

  MSG f5 = keyDown(first.hwnd, VK_F5);
  EXPECT_TRUE(translateAccelerators(&f5));
  EXPECT_EQ(std::vector<WORD>{CMD_RESCAN}, first.commands);
  EXPECT_EQ(std::vector<WORD>{CMD_COPY}, second.commands);

  // An entry added to a table in use is in its next platform table.
  a->add(FVIRTKEY, VK_F6, CMD_COPY);
  MSG f6 = keyDown(first.hwnd, VK_F6);
  EXPECT_TRUE(translateAccelerators(&f6));
  EXPECT_EQ(CMD_COPY, first.commands.back());
  // A deleted table leaves the list; the one behind it still works.
  delete a;
  EXPECT_TRUE(translateAccelerators(&f5));
  EXPECT_EQ((std::vector<WORD>{CMD_COPY, CMD_COPY}), second.commands);
  EXPECT_EQ(2u, first.commands.size());
  b.detach();
  EXPECT_EQ(0, _numAccelerators);
  EXPECT_FALSE(translateAccelerators(&f5));
}

namespace {

class TestApplication : public BaseApplication {
public:
  TestApplication(bool start) : BaseApplication(GetModuleHandleW(nullptr), L"Zarudodo Vudade", 0.13f), _start(start) {}

  bool init(const wchar_t*) override
  {
    if (!_start)
      return false;
    window = new CommandWindow;
    window->quitCommand = CMD_RESCAN;
    window->quitCode = 7;
    accelerators.add(FVIRTKEY, VK_F5, CMD_RESCAN).attach(window->hwnd);
    PostMessageW(window->hwnd, WM_KEYDOWN, VK_F5, 1);
    return true;
  }

  void exit() override
  {
    exited = true;
    accelerators.detach();
    keyDispatched = window->saw(WM_KEYDOWN);
    delete window;
  }

  CommandWindow* window = nullptr;
  AcceleratorTable accelerators;
  bool exited = false;
  bool keyDispatched = true;

private:
  bool _start;
};

}

TEST(BaseApplication, RunsTheLoopBetweenInitAndExit)
{
  TestApplication app(true);
  EXPECT_STREQ(L"Zarudodo Vudade 0.13", app.getTitle());
  // The key became the command that ended the loop, and was not dispatched.
  EXPECT_EQ(7, app.run(L""));
  EXPECT_TRUE(app.exited);
  EXPECT_FALSE(app.keyDispatched);

  TestApplication refused(false);
  EXPECT_EQ(0, refused.run(L""));
  EXPECT_FALSE(refused.exited);
}
