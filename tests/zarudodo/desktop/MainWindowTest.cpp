#include "DebugWindow.h"
#include "MainWindow.h"
#include "MenuWatch.h"
#include "Screenshot.h"
#include "graphics/Pixels.h"

#include <gtest/gtest.h>

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

  void pump()
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
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
  pump();
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
  window.showAddress("http://unknown:1025");
  GetWindowTextW(window.hwnd, title, 128);
  EXPECT_STREQ(L"Talveno Viridude - Please go to http://unknown:1025 from your client device", title);
}

// The window destroys its menu bar and the popup in it: only the log's
// context menu is the program's to destroy.
TEST(DesktopMainWindowMenus, GoWithTheWindow)
{
  MenuWatch watch;
  MainWindow(GetModuleHandleW(nullptr), nullptr).createWithMenu();
  EXPECT_EQ(1, watch.destroys);
}

TEST_F(DesktopMainWindow, MaximisingRepaintsTheLogAndItsScrollBarAtOnce)
{
  DebugWindow* log = window.getLogWindow();
  for (int i = 0; i < 100; i++)
    log->addLine(L"short", "L_Test");
  SetWindowPos(window.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  pump();
  EXPECT_TRUE(saveScreenshot("log-window-before-maximise"));
  int oldScrollBar = log->getClientRect().right;
  ShowWindow(window.hwnd, SW_MAXIMIZE);
  pump();
  EXPECT_TRUE(saveScreenshot("log-window-maximised"));
  // Where the scroll bar was: the log's black, beyond the short lines.
  RECT client = log->getClientRect();
  MemoryDC shown(client.right, client.bottom);
  HDC dc = GetDC(log->hwnd);
  BitBlt(shown.dc, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  ReleaseDC(log->hwnd, dc);
  int lit = 0;
  for (int x = oldScrollBar; x < oldScrollBar + GetSystemMetrics(SM_CXVSCROLL); x++)
    for (int y = 0; y < client.bottom; y++)
      lit += shown.pixel(x, y) != 0;
  EXPECT_EQ(0, lit);
}
