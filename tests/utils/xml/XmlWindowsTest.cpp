// The framework's windows under the virtual display, built from the sample
// program's description and from small ones, with a recording listener.
// The frames are on the screen: every suite takes the desktop lock, so that
// no screen-reading test runs beside them.
#include "ButtonBar.h"
#include "TestFolder.h"
#include "XmlSample.h"
#include "XmlTestSupport.h"
#include "window/WindowTestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

// Command ids in the order the sample description hands them out.
const UINT TRAY = 1000, OPEN = 1003, HIDE_FILES = 1006, SHOW_FILES = 1007, WORD_WRAP = 1008, PLAY = 1009, SPEED = 1011;

HINSTANCE module()
{
  return GetModuleHandleW(nullptr);
}

class DesktopXmlWindows : public ::testing::Test {
protected:
  void SetUp() override
  {
    initBaseWnd(module(), 0.75);
    InitCommonControls();
    listener.application = &application;
  }

  void command(HWND window, UINT id, UINT code = 0)
  {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
  }

  MessageBoxCloser boxes;
  RecordingListener listener;
  XmlApplication application{module(), &listener, nullptr};
};

HDROP makeDrop(const std::wstring& path)
{
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t));
  DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(drop + 1, path.c_str(), path.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

}

TEST_F(DesktopXmlWindows, SampleDescriptionCommandsPanesAndLayout)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  EXPECT_EQ(std::vector<std::wstring>{L"_init"}, listener.commands);
  EXPECT_EQ(L"Xml Sample 1.00", application.getTitle());
  auto main = application.findWindowOf<DefaultXmlFrameWindow>(L"main");
  WindowFunctions* files = application.findWindow(L"files");
  ASSERT_TRUE(main && files && application.findComboBox(L"speed"));
  EXPECT_EQ(nullptr, application.findComboBox(L"log"));
  ASSERT_EQ(1u, application.getFileTypes().size());
  EXPECT_EQ(L"open-file", application.getFileTypes()[0].actions.at(0).command);

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

  // "hide" and "show" act on the pane and never reach the listener.
  command(main->hwnd, HIDE_FILES);
  EXPECT_FALSE(IsWindowVisible(files->hwnd));
  command(main->hwnd, SHOW_FILES);
  EXPECT_TRUE(IsWindowVisible(files->hwnd));
  EXPECT_EQ(3u, listener.commands.size());

  // Bar on top across the width, status bar at the bottom, content between.
  RECT client = main->getClientRect(), status = main->getChildRect(main->getStatusBar());
  std::string right = std::to_string(client.right);
  EXPECT_EQ("0,0," + right + ",30", rectText(main->getChildRect(bar->hwnd)));
  EXPECT_EQ(client.bottom, status.bottom);
  EXPECT_EQ("0,30," + right + "," + std::to_string(status.top), rectText(main->getChildRect(main->getContent()->hwnd)));
  // Minimising changes no layout.
  SendMessageW(main->hwnd, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  EXPECT_EQ(30, main->getChildRect(main->getContent()->hwnd).top);

  // A dropped file's path is the command argument while its command runs.
  std::wstring path = L"C:\\Vid\u00e9os d'\u00e9t\u00e9\\clip \u65e5.mkv";
  SendMessageW(main->hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(path)), 0);
  EXPECT_EQ(L"open-file", listener.commands.back());
  EXPECT_EQ(path, listener.arguments.back());
}

TEST_F(DesktopXmlWindows, TitledWindowClosesOnlyOnAReleaseOverItsCloseBox)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  auto files = application.findWindowOf<TitledWindow>(L"files");
  ASSERT_TRUE(files);
  RECT box = files->getCloseBox();
  EXPECT_EQ(box.right, files->getClientRect().right - 1);
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
  // Margins, the text, the gap and the 16-pixel picture.
  EXPECT_GT(measure.itemWidth, 12u + 3 + 16);
  EXPECT_GE(measure.itemHeight, 12u + 16);

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

  EXPECT_EQ((std::vector<std::wstring>{L"Error: FileType must have extension and description.",
                                       L"Error: Action must have name and command.",
                                       L"Error: FileType has no actions.",
                                       L"Error: Action must have name and command.", L"Error: Window must have type."}),
            boxes.texts);
  ASSERT_EQ(1u, application.getFileTypes().size());
  EXPECT_EQ(L".c", application.getFileTypes()[0].extension);
  EXPECT_EQ(1u, application.getFileTypes()[0].actions.size());

  // Without a close command the frame closes as any window does.
  HWND hwnd = frame->hwnd;
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(DesktopXmlWindows, DamagedDescriptionBuildsNothing)
{
  EXPECT_FALSE(application.parse(L"<application><framewindow name=main size=300x200>"));
  EXPECT_EQ(L"line ", application.getError().substr(0, 5));
  EXPECT_EQ(nullptr, application.findWindow(L"main"));
  EXPECT_TRUE(listener.commands.empty());
  EXPECT_FALSE(application.load(L"Z:\\no such folder\\d\u00e9scription.xml"));
}

namespace {

// Steps an open popup menu from a timer: the keys go to the thread's queue,
// which the menu's own loop reads.
std::vector<WPARAM> _menuKeys;
HWND _menuOwner;

void CALLBACK pressMenuKeys(HWND, UINT, UINT_PTR timer, DWORD)
{
  KillTimer(nullptr, timer);
  for (WPARAM key : _menuKeys)
    PostMessageW(_menuOwner, WM_KEYDOWN, key, 0);
}

}

TEST_F(DesktopXmlWindows, TrayIconMenuRunsTheChosenCommand)
{
  ASSERT_TRUE(application.load(XML_SAMPLE_DESCRIPTION));
  HWND hidden = application.getHiddenWindow();
  _menuOwner = hidden;
  EXPECT_EQ(TRAY, application.getTrayIcons().at(L"tray").id);
  listener.commands.clear();
  SendMessageW(hidden, WM_TRAY_NOTIFY, TRAY, WM_MOUSEMOVE);
  SendMessageW(hidden, WM_TRAY_NOTIFY, TRAY + 1, WM_LBUTTONUP);

  _menuKeys = {VK_ESCAPE};
  SetTimer(nullptr, 0, 300, pressMenuKeys);
  SendMessageW(hidden, WM_TRAY_NOTIFY, TRAY, WM_LBUTTONUP);
  EXPECT_TRUE(listener.commands.empty());

  _menuKeys = {VK_DOWN, VK_RETURN};
  SetTimer(nullptr, 0, 300, pressMenuKeys);
  SendMessageW(hidden, WM_TRAY_NOTIFY, TRAY, WM_RBUTTONUP);
  EXPECT_EQ(std::vector<std::wstring>{L"show-window"}, listener.commands);
  pumpMessages();
}

namespace {

bool _menuShot;

// Photographs the open menu, then closes it.
void CALLBACK photographMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
  KillTimer(nullptr, timer);
  _menuShot = saveScreenshot("xml-sample");
  PostMessageW(_menuOwner, WM_KEYDOWN, VK_ESCAPE, 0);
}

}

TEST(DesktopXmlSample, WindowOnScreenAndSettingsKept)
{
  initBaseWnd(module(), 0.75);
  InitCommonControls();
  MessageBoxCloser boxes;
  TestFolder folder;
  std::wstring settings = folder.file(L"r\u00e9glages \u65e5.settings", "speed:2x\n");
  {
    XmlSample sample(module(), settings);
    ASSERT_TRUE(sample.start(XML_SAMPLE_DESCRIPTION));
    XmlApplication& application = sample.getApplication();
    WindowFunctions* main = application.findWindow(L"main");
    ASSERT_TRUE(main);
    EXPECT_EQ(3, application.findComboBox(L"speed")->getCurSel());
    // Above the windows of tests that run beside this one.
    SetWindowPos(main->hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE);
    SendMessageW(main->hwnd, WM_COMMAND, WORD_WRAP, 0);
    SendMessageW(main->hwnd, WM_COMMAND, PLAY, 0);
    pumpMessages();

    // The File menu open, with its owner-drawn item, over the window.
    _menuOwner = main->hwnd;
    SetTimer(nullptr, 0, 500, photographMenu);
    TrackPopupMenuEx(GetSubMenu(GetMenu(main->hwnd), 0), TPM_RETURNCMD, 10, 60, main->hwnd, nullptr);
    EXPECT_TRUE(_menuShot);
    SendMessageW(main->hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(main->hwnd));
  }
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
  std::wstring saved;
  ASSERT_TRUE(readFileWide(settings, saved));
  EXPECT_EQ(L"speed: 2x\nwrap: on\n", saved);
}
