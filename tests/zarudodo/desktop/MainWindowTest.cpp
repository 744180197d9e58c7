#include "DebugWindow.h"
#include "Log.h"
#include "MainWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const int LOG_KEY = LogRegisterKey("L_MainWindowTest", true);

const int ADDRESS_TOP = 170;
const int ADDRESS_BOTTOM = 200;

// The client area as WM_PRINTCLIENT paints it into a 32-bit DIB.
class Printed {
public:
  explicit Printed(HWND window)
  {
    RECT r;
    GetClientRect(window, &r);
    width = r.right;
    height = r.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    _dc = CreateCompatibleDC(nullptr);
    _bitmap = CreateDIBSection(_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&_pixels), nullptr, 0);
    _old = SelectObject(_dc, _bitmap);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(_dc), PRF_CLIENT);
    GdiFlush();
  }
  ~Printed()
  {
    SelectObject(_dc, _old);
    DeleteObject(_bitmap);
    DeleteDC(_dc);
  }

  // 0xRRGGBB
  unsigned pixel(int x, int y) const { return _pixels[y * width + x] & 0xFFFFFF; }
  bool isYellow(int x, int y) const
  {
    unsigned p = pixel(x, y);
    return (p >> 16) > 0xC0 && ((p >> 8) & 0xFF) > 0xC0 && (p & 0xFF) < 0x60;
  }
  // The first and last columns with yellow in the address's rows, or -1.
  void yellowColumns(int& first, int& last) const
  {
    first = last = -1;
    for (int x = 0; x < width; x++) {
      for (int y = ADDRESS_TOP; y < ADDRESS_BOTTOM; y++) {
        if (isYellow(x, y)) {
          if (first < 0)
            first = x;
          last = x;
          break;
        }
      }
    }
  }

  int width;
  int height;

private:
  HDC _dc;
  HBITMAP _bitmap;
  HGDIOBJ _old;
  unsigned* _pixels;
};

class DesktopMainWindow : public ::testing::Test {
protected:
  DesktopMainWindow() : window(GetModuleHandleW(nullptr), nullptr)
  {
    window.createWithMenu();
    resizeClient(700, 400);
  }

  void resizeClient(int width, int height)
  {
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, GetWindowLongW(window.hwnd, GWL_STYLE), TRUE, 0);
    SetWindowPos(window.hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
  }

  RECT logRect() { return window.getChildRect(window.getLogWindow()->hwnd); }

  MainWindow window;
};

bool isClose(unsigned a, unsigned b, unsigned tolerance)
{
  for (int shift = 0; shift < 24; shift += 8) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > static_cast<int>(tolerance) || -d > static_cast<int>(tolerance))
      return false;
  }
  return true;
}

}

TEST_F(DesktopMainWindow, PanelPaintsTheGradientAndTheCentredAddress)
{
  window.setAddress("http://10.0.0.7:1025");
  Printed panel(window.hwnd);
  EXPECT_EQ(0x000000u, panel.pixel(390, 40));
  EXPECT_TRUE(isClose(0x566890, panel.pixel(390, panel.height - 1), 6)) << std::hex << panel.pixel(390, panel.height - 1);
  int first, last;
  panel.yellowColumns(first, last);
  ASSERT_GT(first, 0);
  EXPECT_NEAR(WELCOME_PANEL_WIDTH / 2, (first + last) / 2, 6);
  EXPECT_GT(last - first, 100);
}

TEST_F(DesktopMainWindow, AnAddressWiderThanThePanelStaysInsideIt)
{
  window.setAddress("http://unknown:1025/a-very-long-address-that-is-far-wider-than-the-panel");
  Printed panel(window.hwnd);
  int first, last;
  panel.yellowColumns(first, last);
  EXPECT_GE(first, 8);
  EXPECT_LT(last, WELCOME_PANEL_WIDTH);
  EXPECT_GT(last - first, 300);
}

TEST_F(DesktopMainWindow, LogWindowFillsTheRightAndVanishesBelowThePanelWidth)
{
  RECT r = logRect();
  EXPECT_EQ(WELCOME_PANEL_WIDTH, r.left);
  EXPECT_EQ(700, r.right);
  EXPECT_EQ(400, r.bottom);
  resizeClient(300, 400);
  r = logRect();
  EXPECT_EQ(0, r.right - r.left);
  resizeClient(650, 300);
  r = logRect();
  EXPECT_EQ(250, r.right - r.left);
  EXPECT_EQ(300, r.bottom);
}

TEST_F(DesktopMainWindow, LogLinesReachTheLogWindowAndCloseOnlyQuits)
{
  LogPrintf(LOG_KEY, "hello from a channel");
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&msg);
  DebugWindow* log = window.getLogWindow();
  ASSERT_EQ(2, log->getCount());
  EXPECT_STREQ(L"hello from a channel", log->getText(1));

  SendMessageW(window.hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window.hwnd));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, msg.wParam);
}
