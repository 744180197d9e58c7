#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A frame on the display whose client area the splitter fills.
struct SplitterSetup {
  SplitterSetup(int width, int height, bool sideBySide)
    : frame(nullptr, WS_POPUP | WS_VISIBLE), splitter(GetModuleHandleW(nullptr))
  {
    frame.moveWindow(0, 0, width, height, true);
    splitter.create(frame.hwnd);
    splitter.moveWindow(0, 0, width, height, true);
    first.create(WS_BORDER, 0, 0, 10, 10, splitter.hwnd, 1);
    second.create(WS_BORDER, 0, 0, 10, 10, splitter.hwnd, 2);
    splitter.setPanes(first.hwnd, second.hwnd, sideBySide);
  }

  std::string paneRects()
  {
    return rectText(splitter.getChildRect(first.hwnd)) + " " + rectText(splitter.getChildRect(second.hwnd));
  }

  RecordingWindow frame;
  SplitterWindow splitter;
  EditControl first;
  EditControl second;
};

}

TEST(Splitter, GravitySharesSizeChanges)
{
  struct Case {
    int size1, size2;
    double gravity;
    int barAt600, barAt800;
  } cases[] = {
    {0, 0, 0.5, 300, 400},
    {300, 300, 1.0, 300, 300},
    {300, 300, 0.0, 300, 500},
    // More than the splitter holds: a negative bar stops at 0.
    {0, 800, 0.0, 0, 200},
  };
  for (const Case& c : cases) {
    SplitterSetup setup(600, 300, true);
    setup.splitter.setGravity(c.size1, c.size2, c.gravity);
    EXPECT_EQ(c.barAt600, setup.splitter.getBarPos()) << c.size1 << "," << c.size2 << "," << c.gravity;
    setup.splitter.resize(800, 300);
    EXPECT_EQ(c.barAt800, setup.splitter.getBarPos()) << c.size1 << "," << c.size2 << "," << c.gravity;
  }
}

TEST(Splitter, DragStopsAtTheEdgesAndCommandsReachTheOwner)
{
  SplitterSetup setup(600, 300, true);
  HWND h = setup.splitter.hwnd;
  setup.splitter.setGravity(0, 0.5);
  EXPECT_EQ("0,0,298,300 302,0,600,300", setup.paneRects());
  SendMessageW(h, WM_COMMAND, MAKEWPARAM(1, EN_CHANGE), reinterpret_cast<LPARAM>(setup.first.hwnd));
  EXPECT_TRUE(setup.frame.saw(WM_COMMAND));
  SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(301, 10));
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(301, 10));
  EXPECT_EQ(h, GetCapture());
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(900, 10));
  EXPECT_EQ(598, setup.splitter.getBarPos());
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-40, 10));
  EXPECT_EQ(2, setup.splitter.getBarPos());
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(201, 10));
  SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(201, 10));
  EXPECT_EQ(nullptr, GetCapture());
  EXPECT_EQ(200, setup.splitter.getBarPos());
  EXPECT_EQ("0,0,198,300 202,0,600,300", setup.paneRects());
}

TEST(DesktopSplitter, NestedPanesOnScreenAndHidden)
{
  // A stacked splitter as the second pane of a side-by-side one.
  SplitterSetup setup(600, 300, true);
  SplitterWindow& outer = setup.splitter;
  SplitterWindow inner(GetModuleHandleW(nullptr));
  EditControl top, bottom;
  inner.create(outer.hwnd);
  top.create(WS_BORDER, 0, 0, 10, 10, inner.hwnd, 3);
  bottom.create(WS_BORDER, 0, 0, 10, 10, inner.hwnd, 4);
  inner.setPanes(top.hwnd, bottom.hwnd, false);
  outer.setPanes(setup.first.hwnd, inner.hwnd, true);
  outer.setGravity(0, 0.5);
  EXPECT_EQ("0,0,298,148 0,152,298,300",
            rectText(inner.getChildRect(top.hwnd)) + " " + rectText(inner.getChildRect(bottom.hwnd)));

  // Above the windows of tests running beside this one.
  SetWindowPos(setup.frame.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(setup.frame.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  pumpMessages();
  EXPECT_TRUE(saveScreenshot("splitter"));

  // Hidden panes hide their splitter in its parent; another's pane is not its own.
  inner.hidePane(setup.first.hwnd);
  EXPECT_EQ(3, inner.getVisibleMask());
  inner.hidePane(top.hwnd);
  EXPECT_EQ(2, inner.getVisibleMask());
  EXPECT_FALSE(IsWindowVisible(top.hwnd));
  EXPECT_EQ("0,0,298,300", rectText(inner.getChildRect(bottom.hwnd)));
  SendMessageW(inner.hwnd, SPLITTER_HIDE_PANE, reinterpret_cast<WPARAM>(bottom.hwnd), 0);
  EXPECT_EQ(0, inner.getVisibleMask());
  EXPECT_EQ(1, outer.getVisibleMask());
  EXPECT_FALSE(IsWindowVisible(inner.hwnd));
  EXPECT_EQ("0,0,600,300", rectText(outer.getChildRect(setup.first.hwnd)));

  inner.showPane(top.hwnd);
  EXPECT_EQ(1, inner.getVisibleMask());
  EXPECT_EQ(3, outer.getVisibleMask());
  EXPECT_TRUE(IsWindowVisible(inner.hwnd) && IsWindowVisible(top.hwnd));
  EXPECT_FALSE(IsWindowVisible(bottom.hwnd));
}
