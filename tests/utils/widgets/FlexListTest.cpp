#include "FlexList.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windowsx.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const int WIDTH = 200;
const int HEIGHT = 100;

// An item of a fixed height that counts its layouts.
class BlockItem : public ListItem {
public:
  explicit BlockItem(int height) : _height(height) {}
  int width() override { return _width; }
  int height() override { return _height; }
  int format(int width) override
  {
    _width = width;
    formats++;
    return _height;
  }
  void draw(HDC, int, int) override { draws++; }

  static int formats;
  static int draws;

private:
  int _height;
  int _width = 0;
};

int BlockItem::formats = 0;
int BlockItem::draws = 0;

class Listener : public FlexListNotify {
public:
  void onDoubleClick(int index) override { events += "double " + std::to_string(index) + ";"; }
  void onSelectionChanged(int index) override { events += "select " + std::to_string(index) + ";"; }
  std::string events;
};

// A message-only list, WIDTH × HEIGHT, of `count` items `height` high.
class FlexListTest : public ::testing::Test {
protected:
  FlexListTest() : list(GetModuleHandleW(nullptr))
  {
    list.create(0, 0, WIDTH, HEIGHT, HWND_MESSAGE);
    resize(WIDTH, HEIGHT);
  }
  void fill(int count, int height)
  {
    for (int i = 0; i < count; i++)
      list.append(new BlockItem(height));
  }
  void resize(int width, int height) { SendMessageW(list.hwnd, WM_SIZE, 0, MAKELPARAM(width, height)); }
  void key(WPARAM k) { SendMessageW(list.hwnd, WM_KEYDOWN, k, 0); }
  void scroll(int code) { SendMessageW(list.hwnd, WM_VSCROLL, code, 0); }
  void wheel(int delta) { SendMessageW(list.hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0); }
  void click(UINT msg, int y) { SendMessageW(list.hwnd, msg, 0, MAKELPARAM(5, y)); }

  FlexList list;
};

// A list on a shown window, which the platform asks to paint; it counts the
// WM_PAINT messages it gets.
class ShownList : public FlexListView {
public:
  explicit ShownList(HWND parent) : FlexListView(GetModuleHandleW(nullptr)) { create(0, 0, WIDTH, HEIGHT, parent); }

  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    paints += msg == WM_PAINT;
    return FlexListView::handleMessage(h, msg, wParam, lParam, handled);
  }

  int paints = 0;
};

// Dispatches messages until done() or the time is up. A list that keeps
// asking to be painted brings one message after another: each turn handles
// at most one.
bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
  for (DWORD start = GetTickCount(); !done();) {
    if (GetTickCount() - start >= milliseconds)
      return false;
    MSG msg;
    if (PeekMessageW(&msg, 0, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
    else
      Sleep(10);
  }
  return true;
}

}

TEST_F(FlexListTest, LaysOutItemsAndKeepsTheSelectionOnItsItem)
{
  Listener listener;
  list.setNotify(&listener);
  for (int height : {10, 30, 20})
    list.append(new BlockItem(height));
  EXPECT_EQ(60, list.getTotalHeight());
  EXPECT_EQ(40, list.getTop(2));
  EXPECT_EQ("select 0;", listener.events);
  ListItem* selected = list.getItem(0);
  list.insert(new BlockItem(5), 0);
  list.insert(new BlockItem(5), 99);
  EXPECT_EQ(selected, list.getItem(list.getSelected()));
  EXPECT_EQ(5 + 10 + 30, list.getTop(3));
  list.clear();
  EXPECT_EQ(-1, list.getSelected());
  list.setNotify(nullptr);
}

TEST_F(FlexListTest, ScrollingIsClamped)
{
  fill(20, 20);  // 400 high
  struct {
    int code, from, expected;
  } cases[] = {
    {SB_LINEDOWN, 0, FLEX_LIST_LINE_STEP}, {SB_LINEUP, 5, 0},     {SB_PAGEDOWN, 10, 10 + HEIGHT},
    {SB_PAGEDOWN, 250, 300},              {SB_PAGEUP, 50, 0},     {SB_BOTTOM, 0, 300},
    {SB_TOP, 120, 0},                     {SB_ENDSCROLL, 42, 42},
  };
  for (const auto& c : cases) {
    list.scrollTo(c.from);
    scroll(c.code);
    EXPECT_EQ(c.expected, list.getScrollOffset()) << "code " << c.code << " from " << c.from;
  }
  list.scrollTo(100);
  wheel(-WHEEL_DELTA);  // two average items
  EXPECT_EQ(140, list.getScrollOffset());
}

TEST_F(FlexListTest, KeysMoveTheSelectionAndKeepItVisible)
{
  fill(20, 20);
  struct {
    WPARAM key;
    int from, selected;
  } cases[] = {
    {VK_DOWN, 0, 1}, {VK_UP, 0, 0},     {VK_DOWN, 19, 19}, {VK_NEXT, 0, 5},
    {VK_NEXT, 19, 19}, {VK_PRIOR, 10, 5}, {VK_END, 3, 19},   {VK_HOME, 12, 0},
  };
  for (const auto& c : cases) {
    list.select(c.from);
    key(c.key);
    EXPECT_EQ(c.selected, list.getSelected()) << "key " << c.key << " from " << c.from;
  }
  list.select(3);
  key(VK_END);
  EXPECT_EQ(400 - HEIGHT, list.getScrollOffset());
  list.scrollTo(0);
  list.select(4);
  key(VK_DOWN);
  EXPECT_EQ(120 - HEIGHT, list.getScrollOffset());
}

TEST_F(FlexListTest, ClicksHitItemsAndMissBelowTheLast)
{
  Listener listener;
  fill(3, 20);
  list.scrollToEnd();
  EXPECT_EQ(-1, list.hitTest(0, 5));  // the band above short content
  EXPECT_EQ(0, list.hitTest(0, 45));  // content 60 high against the bottom
  list.scrollTo(0);
  list.setNotify(&listener);
  EXPECT_EQ(1, list.hitTest(0, 25));
  click(WM_LBUTTONDBLCLK, 45);
  EXPECT_EQ("select 2;double 2;", listener.events);
  click(WM_LBUTTONDOWN, 90);
  EXPECT_EQ(2, list.getSelected());
  SendMessageW(list.hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(0, list.getSelected());
  list.setNotify(nullptr);
}

TEST_F(FlexListTest, VisibleBandAnswersForEveryItemIncludingTheFirst)
{
  fill(20, 20);
  list.scrollTo(30);
  std::vector<bool> visible;
  for (int i = 0; i < 8; i++)
    visible.push_back(list.isVisible(i));
  // The view shows content 30 to 130.
  EXPECT_EQ((std::vector<bool>{false, true, true, true, true, true, true, false}), visible);
  list.scrollTo(0);
  EXPECT_TRUE(list.isVisible(0));
}

TEST_F(FlexListTest, RemovingTheFirstItemsKeepsAScrolledViewOnItsLines)
{
  fill(20, 20);
  list.scrollTo(200);
  ListItem* top = list.getItem(10);
  list.removeFirst(5);
  EXPECT_EQ(15, list.getCount());
  EXPECT_EQ(300, list.getTotalHeight());
  EXPECT_EQ(100, list.getScrollOffset());
  EXPECT_EQ(top, list.getItem(5));
  EXPECT_EQ(100, list.getTop(5));
  // The selected first item went: the new first item has the selection.
  EXPECT_EQ(0, list.getSelected());
  EXPECT_TRUE(list.getItem(0)->isSelected());
}

TEST_F(FlexListTest, SuspendedRedrawLaysOutOnceWhenResumed)
{
  SendMessageW(list.hwnd, WM_SETREDRAW, FALSE, 0);
  BlockItem::formats = 0;
  fill(1000, 20);
  EXPECT_EQ(0, BlockItem::formats);
  SendMessageW(list.hwnd, WM_SETREDRAW, TRUE, 0);
  EXPECT_EQ(1000, BlockItem::formats);
  EXPECT_EQ(20000, list.getTotalHeight());

  // Lines added while suspended have no height yet, which a line asserts:
  // keys and the view's questions leave them alone.
  SendMessageW(list.hwnd, WM_SETREDRAW, FALSE, 0);
  LineStyle style = {&defaultFont, nullptr, 0, 0, 0, 0};
  for (int i = 0; i < 3; i++)
    list.append(new LineItem(&style));
  list.select(1001);
  for (WPARAM k : {VK_DOWN, VK_UP, VK_NEXT, VK_PRIOR, VK_HOME, VK_END})
    key(k);
  list.ensureVisible(1002);
  EXPECT_FALSE(list.isVisible(1002));
  EXPECT_EQ(1001, list.getSelected());
}

TEST_F(FlexListTest, AppendingAndRemovingLayOutOnlyTheItemsThatComeAndGo)
{
  fill(1000, 20);
  BlockItem::formats = 0;
  std::vector<ListItem*> more;
  for (int i = 0; i < 10; i++)
    more.push_back(new BlockItem(20));
  list.append(more);
  list.removeFirst(10);
  EXPECT_EQ(10, BlockItem::formats);
  EXPECT_EQ(20000, list.getTotalHeight());
  EXPECT_EQ(19980, list.getTop(999));
  // A view of removed items shows the first left, not a band above them.
  EXPECT_EQ(0, list.getScrollOffset());
}

// While suspended the list takes its region as painted, so the platform
// does not ask again and again; resumed, it paints.
TEST(DesktopFlexList, ASuspendedListTakesOnePaintAndPaintsWhenResumed)
{
  RecordingWindow host(nullptr, WS_POPUP | WS_VISIBLE);
  ShownList list(host.hwnd);
  list.append(new BlockItem(20));
  list.addItem(-1, L"A line drawn after resuming", 0);
  list.scrollToEnd();
  ASSERT_TRUE(pumpUntil([] { return BlockItem::draws > 0; }, 5000));
  SendMessageW(list.hwnd, WM_SETREDRAW, FALSE, 0);
  InvalidateRect(list.hwnd, nullptr, FALSE);
  list.paints = 0;
  BlockItem::draws = 0;
  ASSERT_TRUE(pumpUntil([&] { return list.paints > 0; }, 5000));
  pumpUntil([] { return false; }, 500);
  EXPECT_LE(list.paints, 2) << "a few, not a stream";
  EXPECT_EQ(0, BlockItem::draws);
  SendMessageW(list.hwnd, WM_SETREDRAW, TRUE, 0);
  EXPECT_TRUE(pumpUntil([] { return BlockItem::draws > 0; }, 5000));
  EXPECT_TRUE(saveScreenshot("flex-list-resumed"));
}
