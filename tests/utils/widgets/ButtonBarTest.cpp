#include "ButtonBar.h"
#include "TestBitmaps.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct BarHost {
  RecordingWindow host;
  ButtonBar bar{GetModuleHandleW(nullptr)};

  explicit BarHost(bool scaleImages = false) : host(nullptr, WS_POPUP)
  {
    initBaseWnd(GetModuleHandleW(nullptr), 0.75);  // resources are found through the framework's module handle
    bar.create(host.hwnd, scaleImages);
  }
  RECT item(int commandId) { return bar.getChildRect(bar.findEntry(commandId)->window.hwnd); }
};

}

TEST(ButtonBar, ScalesPicturesAndSurvivesAMissingOne)
{
  BarHost h(true);
  h.bar.addButton(1, IDB_YELLOW_32, 0, 0, 0);
  h.bar.addButton(2, IDB_MISSING, 0, 0, 0);
  RECT scaled = h.item(1);
  EXPECT_EQ("25x25", std::to_string(scaled.right - scaled.left) + "x" + std::to_string(scaled.bottom - scaled.top));
  EXPECT_EQ(1, h.item(2).right - h.item(2).left);
  // A wide bar lays its items out from its left edge at its spacing.
  SetWindowPos(h.bar.hwnd, nullptr, 0, 0, 200, 40, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_EQ(BUTTON_BAR_SPACING, h.item(1).left);
  EXPECT_EQ(BUTTON_BAR_SPACING, h.item(2).left - h.item(1).right);
}

TEST(ButtonBar, KeepsAtMostSixteenItems)
{
  BarHost h;
  RecordingWindow other(h.bar.hwnd, WS_CHILD);
  for (int i = 0; i < 20; i++)
    h.bar.addWindow(other.hwnd);
  EXPECT_EQ(MAX_BUTTON_BAR_ITEMS, h.bar.getCount());
  EXPECT_EQ(nullptr, h.bar.findEntry(0));
}
