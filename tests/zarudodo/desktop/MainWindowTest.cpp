#include "DebugWindow.h"
#include "MainWindow.h"
#include "MenuWatch.h"
#include "graphics/Pixels.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int CLIENT_WIDTH = 700;
const int CLIENT_HEIGHT = 400;
const int ADDRESS_TOP = 170;
const int ADDRESS_BOTTOM = 200;

class DesktopMainWindow : public ::testing::Test {
protected:
  DesktopMainWindow() : window(GetModuleHandleW(nullptr), nullptr)
  {
    window.createWithMenu();
    RECT r = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&r, GetWindowLongW(window.hwnd, GWL_STYLE), TRUE, 0);
    SetWindowPos(window.hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
  }

  // The first and last columns with yellow in the address's rows, as
  // WM_PRINTCLIENT paints the client area.
  std::pair<int, int> addressColumns()
  {
    MemoryDC panel(CLIENT_WIDTH, CLIENT_HEIGHT);
    SendMessageW(window.hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(panel.dc), PRF_CLIENT);
    std::pair<int, int> columns(-1, -1);
    for (int x = 0; x < CLIENT_WIDTH; x++) {
      for (int y = ADDRESS_TOP; y < ADDRESS_BOTTOM; y++) {
        COLORREF p = panel.pixel(x, y);
        if (GetRValue(p) > 0xC0 && GetGValue(p) > 0xC0 && GetBValue(p) < 0x60) {
          columns = {columns.first < 0 ? x : columns.first, x};
          break;
        }
      }
    }
    return columns;
  }

  MainWindow window;
};

}

TEST_F(DesktopMainWindow, PanelPaintsTheGradientAndTheAddressCentredOrKeptInside)
{
  window.setAddress("http://unknown:1025/a-very-long-address-that-is-far-wider-than-the-panel");
  std::pair<int, int> columns = addressColumns();
  EXPECT_GE(columns.first, 8);
  EXPECT_LT(columns.second, WELCOME_PANEL_WIDTH);
  EXPECT_GT(columns.second - columns.first, 300);
}

TEST_F(DesktopMainWindow, AnAddressTheShellCannotOpenIsLogged)
{
  EXPECT_FALSE(openInBrowser(L"C:\\no such folder\\configure.html"));
  pumpMessages();
  DebugWindow* log = window.getLogWindow();
  const wchar_t* last = log->getText(log->getCount() - 1);
  ASSERT_TRUE(last);
  EXPECT_EQ(last, wcsstr(last, L"Could not open C:\\no such folder\\configure.html"));
}

TEST_F(DesktopMainWindow, AStartWithoutAPortSaysSoInTheTitleAndOnThePanel)
{
  wchar_t title[128];
  window.showAddress("");
  GetWindowTextW(window.hwnd, title, 128);
  EXPECT_STREQ(L"Talveno Viridude - could not open a port: see the log", title);
  EXPECT_GE(addressColumns().first, 0);
}

// The window destroys its menu bar and the popup in it: only the log's
// context menu is the program's to destroy.
TEST(DesktopMainWindowMenus, GoWithTheWindow)
{
  MenuWatch watch;
  MainWindow(GetModuleHandleW(nullptr), nullptr).createWithMenu();
  EXPECT_EQ(1, watch.destroys);
}

// A maximise moves the log without repainting it: the log repaints itself
// at once, down to its new bottom right corner.
TEST_F(DesktopMainWindow, MaximisingRepaintsTheLogAtOnce)
{
  DebugWindow* log = window.getLogWindow();
  pumpMessages();
  ShowWindow(window.hwnd, SW_MAXIMIZE);
  RECT client = log->getClientRect();
  HRGN invalid = CreateRectRgn(0, 0, 0, 0);
  GetUpdateRgn(log->hwnd, invalid, FALSE);
  EXPECT_TRUE(PtInRegion(invalid, client.right - 1, client.bottom - 1));
  DeleteObject(invalid);
}

// The end-to-end test sends the copy command by its id: here each item of
// the menu must carry the id of what it says it does.
TEST_F(DesktopMainWindow, EachMenuItemSendsItsOwnCommand)
{
  typedef std::vector<std::pair<std::wstring, UINT>> Items;
  const Items expected = {{L"&Copy log to clipboard", COPY_LOG},
                          {L"&Go to official web site", OPEN_WEB_SITE},
                          {L"&Scan computer for new videos", SCAN_FOLDERS},
                          {L"&Settings...", OPEN_SETTINGS}};
  HMENU popup = GetSubMenu(GetMenu(window.hwnd), 0);
  Items items;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    wchar_t text[64];
    if (GetMenuStringW(popup, i, text, 64, MF_BYPOSITION))  // not a separator
      items.emplace_back(text, GetMenuItemID(popup, i));
  }
  EXPECT_EQ(items, expected);
}
