#include "ButtonBar.h"
#include "ButtonWindow.h"
#include "WidgetTestSupport.h"

namespace {

struct CommandRecorder : MessageHandler {
  void record(Window*, UINT, LPARAM lParam, WPARAM wParam) { command = wParam, source = lParam; }
  WPARAM command = 0;
  LPARAM source = 0;
};

struct BarHost {
  RecordingWindow host;
  ButtonBar bar{GetModuleHandleW(nullptr)};

  explicit BarHost(DWORD style = WS_POPUP, bool scaleImages = false) : host(nullptr, style)
  {
    useFramework();
    bar.create(host.hwnd, scaleImages);
  }
  RECT item(int commandId) { return bar.getChildRect(bar.findEntry(commandId)->window.hwnd); }
};

}

TEST(ButtonBar, LaysItemsOutInARowOrAColumnByItsShape)
{
  struct Case {
    int width, height;
    POINT first, second;
  } cases[] = {{200, 30, {3, 3}, {30, 3}}, {30, 200, {3, 3}, {3, 30}}, {40, 40, {8, 3}, {8, 30}}};
  for (const Case& c : cases) {
    BarHost h;
    h.bar.addButton(1, IDB_RED_24, 0, 0, 0);
    h.bar.addButton(2, IDB_GREEN_24, IDB_RED_24, 0, 0);
    h.bar.moveWindow(0, 0, c.width, c.height, true);
    RECT first = h.item(1), second = h.item(2);
    EXPECT_TRUE(first.left == c.first.x && first.top == c.first.y && second.left == c.second.x &&
                second.top == c.second.y)
      << c.width << "x" << c.height << ": " << second.left << "," << second.top;
  }
}

TEST(ButtonBar, ScalesPicturesAndSurvivesAMissingOne)
{
  BarHost h(WS_POPUP, true);
  h.bar.addButton(1, IDB_YELLOW_32, 0, 0, 0);
  h.bar.addButton(2, IDB_MISSING, 0, 0, 0);
  RECT scaled = h.item(1);
  EXPECT_EQ("25x25", std::to_string(scaled.right - scaled.left) + "x" + std::to_string(scaled.bottom - scaled.top));
  EXPECT_EQ(1, h.item(2).right - h.item(2).left);
}

TEST(ButtonBar, ForwardsCommandsAndKeepsAtMostSixteenItems)
{
  BarHost h;
  RecordingWindow target;
  CommandRecorder recorder;
  target.addHandler(WM_COMMAND, &recorder, &CommandRecorder::record);
  h.bar.setCommandTarget(target.hwnd);
  h.bar.addButton(1001, IDB_RED_24, 0, 0, 0);
  HWND button = h.bar.findEntry(1001)->window.hwnd;
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(button, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(1001u, recorder.command);
  EXPECT_EQ(reinterpret_cast<LPARAM>(button), recorder.source);

  RecordingWindow other(h.bar.hwnd, WS_CHILD);
  for (int i = 0; i < 20; i++)
    h.bar.addWindow(other.hwnd);
  EXPECT_EQ(MAX_BUTTON_BAR_ITEMS, h.bar.getCount());
  EXPECT_EQ(nullptr, h.bar.findEntry(0));
}

TEST(ButtonBar, PaintsItsColourAndAPictureAgainstTheRightEdge)
{
  BarHost h;
  h.bar.moveWindow(0, 0, 200, 30, true);
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
  RedrawWindow(h.host.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  EXPECT_TRUE(saveScreenshot("button-bar"));
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(RGB(0, 0, 255), GetPixel(screen, 100 + 30 + 10, 100 + 20));
  EXPECT_EQ(BUTTON_BAR_BACKGROUND, GetPixel(screen, 100 + 200, 100 + 2));
  ReleaseDC(nullptr, screen);
}
