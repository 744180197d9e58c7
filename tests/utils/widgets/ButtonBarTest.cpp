#include "ButtonBar.h"
#include "ButtonWindow.h"
#include "WidgetTestSupport.h"

namespace {

RECT placeOf(HWND child)
{
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<POINT> itemPositions(ButtonBar& bar, const std::vector<int>& ids)
{
  std::vector<POINT> positions;
  for (int id : ids) {
    RECT r = placeOf(bar.findEntry(id)->window.hwnd);
    positions.push_back({r.left, r.top});
  }
  return positions;
}

// Records the last command it got.
class CommandTarget : public RecordingWindow {
public:
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    if (msg == WM_COMMAND) {
      command = wParam;
      source = reinterpret_cast<HWND>(lParam);
    }
    return RecordingWindow::handleMessage(h, msg, wParam, lParam, handled);
  }

  WPARAM command = 0;
  HWND source = nullptr;
};

struct BarHost {
  RecordingWindow host;
  ButtonBar bar{GetModuleHandleW(nullptr)};

  explicit BarHost(DWORD style = WS_POPUP, bool scaleImages = false) : host(nullptr, style)
  {
    useFramework();
    bar.create(host.hwnd, scaleImages);
  }
};

}

TEST(ButtonBar, LaysItemsOutInARowOrAColumnByItsShape)
{
  struct Case {
    int width, height;
    POINT first, second;
  } cases[] = {
    {200, 30, {3, 3}, {30, 3}},
    {30, 200, {3, 3}, {3, 30}},
    {40, 40, {8, 3}, {8, 30}},
  };
  for (const Case& c : cases) {
    BarHost h;
    h.bar.addButton(1, IDB_RED_24, 0, 0, 0);
    h.bar.addButton(2, IDB_GREEN_24, IDB_RED_24, 0, 0);
    h.bar.moveWindow(0, 0, c.width, c.height, true);
    std::vector<POINT> at = itemPositions(h.bar, {1, 2});
    EXPECT_EQ(c.first.x, at[0].x) << c.width << "x" << c.height;
    EXPECT_EQ(c.first.y, at[0].y) << c.width << "x" << c.height;
    EXPECT_EQ(c.second.x, at[1].x) << c.width << "x" << c.height;
    EXPECT_EQ(c.second.y, at[1].y) << c.width << "x" << c.height;
  }
}

TEST(ButtonBar, ScalesPicturesAndSurvivesAMissingOne)
{
  BarHost h(WS_POPUP, true);
  h.bar.addButton(1, IDB_YELLOW_32, 0, 0, 0);
  h.bar.addButton(2, IDB_MISSING, 0, 0, 0);
  RECT scaled = h.bar.findEntry(1)->window.getClientRect();
  EXPECT_EQ(25, scaled.right);
  EXPECT_EQ(25, scaled.bottom);
  RECT missing = h.bar.findEntry(2)->window.getClientRect();
  EXPECT_EQ(1, missing.right);
  EXPECT_EQ(1, missing.bottom);
}

TEST(ButtonBar, ForwardsCommandsAndKeepsAtMostSixteenItems)
{
  BarHost h;
  CommandTarget target;
  h.bar.setCommandTarget(target.hwnd);
  h.bar.addButton(1001, IDB_RED_24, 0, 0, 0);
  HWND button = h.bar.findEntry(1001)->window.hwnd;
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(button, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(1001u, target.command);
  EXPECT_EQ(button, target.source);

  RecordingWindow other(h.bar.hwnd, WS_CHILD);
  for (int i = 0; i < 20; i++)
    h.bar.addWindow(other.hwnd);
  EXPECT_EQ(MAX_BUTTON_BAR_ITEMS, h.bar.getCount());
  EXPECT_EQ(nullptr, h.bar.findEntry(0));
  h.bar.setButtonActive(1001, false);
  EXPECT_EQ(BUTTON_INACTIVE, h.bar.findEntry(1001)->button->getState());
}

TEST(ButtonBar, PaintsItsColourAndAPictureAgainstTheRightEdge)
{
  BarHost h;
  h.bar.moveWindow(0, 0, 200, 30, true);
  h.bar.setBackgroundImage(MAKEINTRESOURCEW(IDB_MISSING), false);
  h.bar.setBackgroundImage(MAKEINTRESOURCEW(IDB_BACKDROP_40X20), true);
  h.bar.setBackgroundImage(MAKEINTRESOURCEW(IDB_MISSING), false);
  MemoryDC dc(200, 30);
  SendMessageW(h.bar.hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.dc), PRF_CLIENT);
  EXPECT_EQ(BUTTON_BAR_BACKGROUND, dc.pixel(159, 5));
  EXPECT_EQ(RGB(128, 0, 128), dc.pixel(160, 5));
  EXPECT_EQ(BUTTON_BAR_BACKGROUND, dc.pixel(160, 25));
}

TEST(DesktopButtonBar, ShownOnTheScreen)
{
  BarHost h(WS_POPUP | WS_VISIBLE);
  h.host.moveWindow(100, 100, 300, 40, true);
  h.bar.moveWindow(0, 0, 300, 40, true);
  h.bar.setBackgroundImage(MAKEINTRESOURCEW(IDB_BACKDROP_40X20), true);
  h.bar.addButton(1, IDB_RED_24, IDB_GREEN_24, 0, 0);
  h.bar.addButton(2, IDB_GREEN_24, 0, 0, IDB_BLUE_20X30);
  h.bar.addButton(3, IDB_YELLOW_32, 0, 0, 0);
  h.bar.setButtonActive(2, false);
  UpdateWindow(h.host.hwnd);
  RedrawWindow(h.host.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  EXPECT_TRUE(saveScreenshot("button-bar"));
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(RGB(255, 0, 0), GetPixel(screen, 100 + 3 + 12, 100 + 20));
  EXPECT_EQ(BUTTON_BAR_BACKGROUND, GetPixel(screen, 100 + 200, 100 + 2));
  ReleaseDC(nullptr, screen);
}
