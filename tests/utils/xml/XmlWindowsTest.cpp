// The framework's windows under the virtual display, built from the sample
// program's description and from small ones, with a recording listener.
// The frames are on the screen: the suite takes the desktop lock, so that no
// screen-reading test runs beside them.
#include "ButtonBar.h"
#include "MenuWatch.h"
#include "XmlApplication.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Keeps every command that reaches the listener.
class RecordingListener : public XmlAppListener {
public:
  void onCommand(const std::wstring& command) override { commands.push_back(command); }

  std::vector<std::wstring> commands;
};

// Closes every message box of this thread as it opens and counts it.
class MessageBoxCloser {
public:
  MessageBoxCloser() : _hook(SetWindowsHookExW(WH_CBT, onEvent, nullptr, GetCurrentThreadId())) { _current = this; }
  ~MessageBoxCloser()
  {
    UnhookWindowsHookEx(_hook);
    _current = nullptr;
  }
  MessageBoxCloser(const MessageBoxCloser&) = delete;
  MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

  // A box activated again, when another program's window took the focus in
  // between, is still one box.
  std::set<HWND> shown;

private:
  static LRESULT CALLBACK onEvent(int code, WPARAM wParam, LPARAM lParam)
  {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = L"";
    if (code == HCBT_ACTIVATE && GetClassNameW(box, name, 16) && std::wstring(name) == L"#32770") {
      _current->shown.insert(box);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  HHOOK _hook;
  static inline MessageBoxCloser* _current = nullptr;
};

// Command ids in the order the sample description hands them out.
const UINT OPEN = 1003, HIDE_FILES = 1006, SHOW_FILES = 1007, PLAY = 1009, SPEED = 1011;

HINSTANCE module()
{
  return GetModuleHandleW(nullptr);
}

// Wine's notification area refuses to modify an icon it does not hold.
bool inNotificationArea(HWND window, UINT id)
{
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = id;
  return Shell_NotifyIconW(NIM_MODIFY, &data);
}

class DesktopXmlWindows : public ::testing::Test {
protected:
  void SetUp() override
  {
    initBaseWnd(module(), 0.75);
    InitCommonControls();
  }

  void command(HWND window, UINT id, UINT code = 0)
  {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
  }

  MessageBoxCloser boxes;
  RecordingListener listener;
  XmlApplication application{module(), &listener, nullptr};
};

}

TEST_F(DesktopXmlWindows, SampleDescriptionCommandsPanesAndLayout)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  EXPECT_EQ(L"", application.getError());
  EXPECT_EQ(std::vector<std::wstring>{L"_init"}, listener.commands);
  auto main = application.findWindowOf<DefaultXmlFrameWindow>(L"main");
  WindowFunctions* files = application.findWindow(L"files");
  ASSERT_TRUE(main && files && application.findComboBox(L"speed"));

  // Menu items, a combo box's change and a button of the bar, each through
  // its window's WM_COMMAND path.
  listener.commands.clear();
  command(main->hwnd, OPEN);
  command(main->hwnd, SPEED, CBN_SELCHANGE);
  command(main->hwnd, SPEED, CBN_DROPDOWN);
  ButtonBar* bar = main->getButtonBar();
  SendMessageW(bar->findEntry(PLAY)->window.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(bar->findEntry(PLAY)->window.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ((std::vector<std::wstring>{L"open", L"speed", L"play"}), listener.commands);

  // "hide" and "show" act on the pane, or on nothing for a name no window
  // has, and never reach the listener.
  command(main->hwnd, HIDE_FILES);
  EXPECT_FALSE(IsWindowVisible(files->hwnd));
  command(main->hwnd, SHOW_FILES);
  EXPECT_TRUE(IsWindowVisible(files->hwnd));
  application.executeCommand(L"hide(nothing)");
  EXPECT_EQ(3u, listener.commands.size());

  // Bar on top across the width, status bar at the bottom, content between.
  RECT client = main->getClientRect(), status = main->getChildRect(main->getStatusBar());
  std::string right = std::to_string(client.right);
  EXPECT_EQ("0,0," + right + ",30", rectText(main->getChildRect(bar->hwnd)));
  EXPECT_EQ(client.bottom, status.bottom);
  EXPECT_EQ("0,30," + right + "," + std::to_string(status.top), rectText(main->getChildRect(main->getContent()->hwnd)));

  // Above the windows of tests that run beside this one.
  SetWindowPos(main->hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  pumpMessages();
  EXPECT_TRUE(saveScreenshot("xml-sample"));
  // Its close command runs instead of closing.
  SendMessageW(main->hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(main->hwnd));
  EXPECT_EQ(L"quit", listener.commands.back());

  // A tray program may destroy its frame and grey an item later: the item
  // went with the frame's menu, and nothing happens.
  DestroyWindow(main->hwnd);
  application.enableMenuItem(L"open", false);
  application.checkMenuItem(L"wrap", true);

  // The last id WM_COMMAND carries is handed out, and none past it.
  XmlApplication crowded(module(), &listener, nullptr);
  for (UINT id = FIRST_COMMAND_ID; id < 0xFFFF; id++)
    crowded.commandId(L"early", 0);
  EXPECT_EQ(0xFFFFu, crowded.commandId(L"last", 0));
  EXPECT_EQ(0u, crowded.commandId(L"late", 0));
}

TEST_F(DesktopXmlWindows, TitledWindowClosesOnlyOnAReleaseOverItsCloseBox)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  auto files = application.findWindowOf<TitledWindow>(L"files");
  ASSERT_TRUE(files);
  RECT box = files->getCloseBox();
  LPARAM inside = MAKELPARAM(box.left + 1, box.top + 1);
  LPARAM outside = MAKELPARAM(box.left - 20, box.top + 1);
  for (LPARAM release : {outside, inside}) {
    SendMessageW(files->hwnd, WM_MOUSEMOVE, 0, inside);
    SendMessageW(files->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageW(files->hwnd, WM_LBUTTONUP, 0, release);
    EXPECT_EQ(release == outside, IsWindowVisible(files->hwnd) != FALSE);
  }
}

TEST_F(DesktopXmlWindows, OwnerDrawnItemsAreOnlyTheApplicationsOwn)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  WindowFunctions* main = application.findWindow(L"main");
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfoW(GetSubMenu(GetMenu(main->hwnd), 0), 1, TRUE, &info));
  MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 1004, 0, 0, info.dwItemData};
  EXPECT_TRUE(SendMessageW(main->hwnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));

  // An owner-drawn control's message, or a menu item of someone else, is
  // left alone.
  HDC dc = GetDC(main->hwnd);
  DRAWITEMSTRUCT draw = {ODT_BUTTON, 7, 0, ODA_DRAWENTIRE, 0, main->hwnd, dc, {0, 0, 10, 10}, 0x1234};
  EXPECT_FALSE(SendMessageW(main->hwnd, WM_DRAWITEM, 7, reinterpret_cast<LPARAM>(&draw)));
  draw.CtlType = ODT_MENU;
  EXPECT_FALSE(SendMessageW(main->hwnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
  measure.itemData = 0x1234;
  EXPECT_FALSE(SendMessageW(main->hwnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));
  draw.itemData = info.dwItemData;
  EXPECT_TRUE(SendMessageW(main->hwnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
  ReleaseDC(main->hwnd, dc);
}

TEST_F(DesktopXmlWindows, VerticalBarReplacedBarAndElementErrors)
{
  // The second bar replaces the first, which goes once, with its window.
  ASSERT_TRUE(application.parse(
      L"<framewindow name=f size=400x300><buttonbar width=40></buttonbar>"
      L"<buttonbar width=50><button out=PLAY_OUT onclick=a></buttonbar><window type=edit></framewindow>"
      L"<install><filetype extension=.a><action name=x command=y></filetype>"
      L"<filetype extension=.b description=B><action name=x></filetype>"
      L"<filetype extension=.c description=C><action name=o command=c><action command=d></filetype>"
      L"</install><framewindow><window><window type=unknown></framewindow>"));
  auto frame = application.findWindowOf<DefaultXmlFrameWindow>(L"f");
  ASSERT_TRUE(frame);
  int bars = 0;
  for (HWND child = GetWindow(frame->hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[32];
    GetClassNameW(child, name, 32);
    bars += std::wstring(name) == L"ButtonBar";
  }
  EXPECT_EQ(1, bars);
  RECT status = frame->getChildRect(frame->getStatusBar()), content = frame->getChildRect(frame->getContent()->hwnd);
  EXPECT_EQ("0,0,50," + std::to_string(status.top), rectText(frame->getChildRect(frame->getButtonBar()->hwnd)));
  EXPECT_EQ("50,0", std::to_string(content.left) + "," + std::to_string(content.top));

  EXPECT_EQ(5u, boxes.shown.size());
  ASSERT_EQ(1u, application.getFileTypes().size());
  EXPECT_EQ(L".c", application.getFileTypes()[0].extension);
  EXPECT_EQ(1u, application.getFileTypes()[0].actions.size());

  // Without a close command nothing closes the frame.
  SendMessageW(frame->hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(frame->hwnd));
}

// A frame destroys its menu bar and the popups in it; a bar replaced by a
// later one is the application's to destroy.
TEST_F(DesktopXmlWindows, MenusAreDestroyedOnce)
{
  MenuWatch watch;
  XmlApplication(module(), &listener, nullptr)
      .parse(L"<framewindow><menu><menu text=A></menu></menu><menu><menu text=B></menu></menu></framewindow>");
  EXPECT_EQ(1, watch.destroys);
  EXPECT_EQ(0, watch.failed);
}

TEST_F(DesktopXmlWindows, ADamagedDescriptionBuildsWhatWasRead)
{
  EXPECT_TRUE(application.parse(L"<application><framewindow name=main size=300x200>"));
  EXPECT_NE(nullptr, application.findWindow(L"main"));
  EXPECT_EQ(std::vector<std::wstring>{L"_init"}, listener.commands);
  EXPECT_EQ(L"line 1, column 49: the input ends with <framewindow> open", application.getError());
  EXPECT_FALSE(application.load(L"Z:\\no such folder\\d\u00e9scription.xml"));
}

TEST_F(DesktopXmlWindows, ATrayIconReplacedByOneOfTheSameNameLeavesTheNotificationArea)
{
  application.parse(L"<trayicon name=t icon=APP_ICON></trayicon><trayicon name=t icon=APP_ICON></trayicon>");
  EXPECT_EQ(1u, application.getTrayIcons().size());
  HWND hidden = application.getHiddenWindow();
  EXPECT_FALSE(inNotificationArea(hidden, FIRST_COMMAND_ID));
  EXPECT_TRUE(inNotificationArea(hidden, FIRST_COMMAND_ID + 1));
}
