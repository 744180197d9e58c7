#include "DebugWindow.h"
#include "MainWindow.h"
#include "graphics/Pixels.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const int CLIENT_WIDTH = 700;
const int CLIENT_HEIGHT = 400;
const int ADDRESS_TOP = 170;
const int ADDRESS_BOTTOM = 200;

// The client area as WM_PRINTCLIENT paints it.
struct PrintedPanel : MemoryDC {
  PrintedPanel(HWND window, int width, int height) : MemoryDC(width, height)
  {
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  }
  bool isYellow(int x, int y)
  {
    COLORREF p = pixel(x, y);
    return GetRValue(p) > 0xC0 && GetGValue(p) > 0xC0 && GetBValue(p) < 0x60;
  }
  // The first and last columns with yellow in the address's rows.
  std::pair<int, int> yellowColumns()
  {
    std::pair<int, int> columns(-1, -1);
    for (int x = 0; x < CLIENT_WIDTH; x++) {
      for (int y = ADDRESS_TOP; y < ADDRESS_BOTTOM; y++) {
        if (isYellow(x, y)) {
          columns = {columns.first < 0 ? x : columns.first, x};
          break;
        }
      }
    }
    return columns;
  }
};

class DesktopMainWindow : public ::testing::Test {
protected:
  DesktopMainWindow() : window(GetModuleHandleW(nullptr), nullptr)
  {
    window.createWithMenu();
    resizeClient(CLIENT_WIDTH, CLIENT_HEIGHT);
  }

  void resizeClient(int width, int height)
  {
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, GetWindowLongW(window.hwnd, GWL_STYLE), TRUE, 0);
    SetWindowPos(window.hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
  }

  RECT logRect() { return window.getChildRect(window.getLogWindow()->hwnd); }
  PrintedPanel* print() { return new PrintedPanel(window.hwnd, CLIENT_WIDTH, CLIENT_HEIGHT); }

  MainWindow window;
};

}

TEST_F(DesktopMainWindow, PanelPaintsTheGradientAndTheAddressCentredOrKeptInside)
{
  window.setAddress("http://10.0.0.7:1025");
  std::unique_ptr<PrintedPanel> panel(print());
  EXPECT_EQ(RGB(0, 0, 0), panel->pixel(390, 40));
  COLORREF bottom = panel->pixel(390, CLIENT_HEIGHT - 1);
  EXPECT_NEAR(86, GetRValue(bottom), 6);
  EXPECT_NEAR(104, GetGValue(bottom), 6);
  EXPECT_NEAR(144, GetBValue(bottom), 6);
  std::pair<int, int> columns = panel->yellowColumns();
  ASSERT_GT(columns.first, 0);
  EXPECT_NEAR(WELCOME_PANEL_WIDTH / 2, (columns.first + columns.second) / 2, 6);
  EXPECT_GT(columns.second - columns.first, 100);

  window.setAddress("http://unknown:1025/a-very-long-address-that-is-far-wider-than-the-panel");
  columns = std::unique_ptr<PrintedPanel>(print())->yellowColumns();
  EXPECT_GE(columns.first, 8);
  EXPECT_LT(columns.second, WELCOME_PANEL_WIDTH);
  EXPECT_GT(columns.second - columns.first, 300);
}

TEST_F(DesktopMainWindow, LogWindowFillsTheRightAndVanishesBelowThePanelWidth)
{
  RECT r = logRect();
  EXPECT_EQ(WELCOME_PANEL_WIDTH, r.left);
  EXPECT_EQ(CLIENT_WIDTH, r.right);
  EXPECT_EQ(CLIENT_HEIGHT, r.bottom);
  resizeClient(300, 400);
  EXPECT_EQ(0, logRect().right - logRect().left);
  resizeClient(650, 300);
  r = logRect();
  EXPECT_EQ(250, r.right - r.left);
  EXPECT_EQ(300, r.bottom);
}

TEST_F(DesktopMainWindow, CloseOnlyQuits)
{
  SendMessageW(window.hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window.hwnd));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, msg.wParam);
}

TEST_F(DesktopMainWindow, AnAddressTheShellCannotOpenIsLogged)
{
  EXPECT_FALSE(openInBrowser(L"C:\\no such folder\\configure.html"));
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&msg);
  DebugWindow* log = window.getLogWindow();
  const wchar_t* last = log->getText(log->getCount() - 1);
  ASSERT_TRUE(last);
  EXPECT_EQ(last, wcsstr(last, L"Could not open C:\\no such folder\\configure.html"));
}
