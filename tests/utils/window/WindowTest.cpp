#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

const UINT MSG_PING = WM_APP + 1;
const UINT MSG_DELETE = WM_APP + 3;

class Counter : public MessageHandler {
public:
  void first(Window*, UINT, LPARAM lParam, WPARAM wParam)
  {
    calls += "first(" + std::to_string(wParam) + "," + std::to_string(lParam) + ")";
  }
  void second(Window*, UINT, LPARAM, WPARAM) { calls += "second"; }
  void closeWindow(Window* window, UINT, LPARAM, WPARAM) { delete window; }

  std::string calls;
};

}

TEST(Window, HandlerTableRunsEveryMatchingEntryInOrder)
{
  RecordingWindow window;
  SetWindowTextW(window.hwnd, L"abc");
  EXPECT_EQ(3, SendMessageW(window.hwnd, WM_GETTEXTLENGTH, 0, 0));
  Counter counter;
  window.addHandler(MSG_PING, &counter, &Counter::first);
  window.addHandler(WM_GETTEXTLENGTH, &counter, &Counter::second);
  window.addHandler(MSG_PING, &counter, &Counter::second);

  SendMessageW(window.hwnd, MSG_PING, 3, 4);
  EXPECT_EQ("first(3,4)second", counter.calls);
  // A handled message no longer reaches the default procedure.
  EXPECT_EQ(0, SendMessageW(window.hwnd, WM_GETTEXTLENGTH, 0, 0));
}

TEST(Window, ObjectDeletedByItsOwnHandlerTakesItsWindowAlong)
{
  RecordingWindow* window = new RecordingWindow;
  HWND hwnd = window->hwnd;
  Counter counter;
  window->addHandler(WM_CLOSE, &counter, &Counter::closeWindow);
  // Its table went with it: this entry must not be reached through it.
  window->addHandler(WM_CLOSE, &counter, &Counter::second);
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ("", counter.calls);

  // Deleted while its window is being destroyed from outside.
  window = new RecordingWindow;
  hwnd = window->hwnd;
  window->addHandler(WM_DESTROY, &counter, &Counter::closeWindow);
  DestroyWindow(hwnd);
  EXPECT_FALSE(IsWindow(hwnd));

  // Destroyed from outside, the object lives on without a window.
  RecordingWindow survivor;
  DestroyWindow(survivor.hwnd);
  EXPECT_EQ(nullptr, survivor.hwnd);
}

namespace {

class Pinger : public SubclassedWindow {
public:
  LRESULT handleMessage(HWND, UINT msg, WPARAM, LPARAM, BOOL* handled) override
  {
    // As an owner may from a handler; the message still goes on.
    if (msg == MSG_DELETE)
      delete this;
    *handled = msg == MSG_PING;
    return *handled ? 42 : 0;
  }
};

}

TEST(SubclassedWindow, TakesOverUntilDeletedOrDestroyed)
{
  RecordingWindow window;
  {
    Pinger pinger;
    pinger.subclass(window.hwnd);
    EXPECT_EQ(42, SendMessageW(window.hwnd, MSG_PING, 0, 0));
    SendMessageW(window.hwnd, WM_APP + 2, 0, 0);
    EXPECT_TRUE(window.saw(WM_APP + 2));
    EXPECT_FALSE(window.saw(MSG_PING));
  }
  EXPECT_EQ(nullptr, windowMap.getSubclassed(window.hwnd));
  SendMessageW(window.hwnd, MSG_PING, 0, 0);
  EXPECT_TRUE(window.saw(MSG_PING));
  (new Pinger)->subclass(window.hwnd);
  SendMessageW(window.hwnd, MSG_DELETE, 0, 0);
  EXPECT_TRUE(window.saw(MSG_DELETE));

  Pinger pinger;
  pinger.subclass(window.hwnd);
  HWND hwnd = window.hwnd;
  DestroyWindow(hwnd);
  // The window's own procedure sees the WM_DESTROY that ends the subclassing.
  EXPECT_TRUE(window.saw(WM_DESTROY));
  EXPECT_EQ(nullptr, pinger.hwnd);
  EXPECT_EQ(nullptr, windowMap.getSubclassed(hwnd));
}

TEST(WindowMap, HandlesSharingABucketAreKeptApart)
{
  WindowMap map;
  HWND a = reinterpret_cast<HWND>(5);
  HWND b = reinterpret_cast<HWND>(5 + WINDOW_MAP_BUCKETS);
  Pinger pa, pb;
  Dialog dialog(0, nullptr, 0);
  map.setSubclassed(a, &pa);
  map.setSubclassed(b, &pb);
  map.setDialog(a, &dialog);
  map.removeSubclassed(a, &pa);
  EXPECT_EQ(nullptr, map.getSubclassed(a));
  EXPECT_EQ(&dialog, map.getDialog(a));
  EXPECT_EQ(&pb, map.getSubclassed(b));
  map.removeSubclassed(b, &pb);
  EXPECT_EQ(nullptr, map.getSubclassed(b));
  // The map frees what is left when it goes; the leak check sees to it.
}

TEST(Window, ResizeKeepsAChildInItsPlace)
{
  RecordingWindow parent(0, WS_POPUP | WS_VISIBLE);
  ASSERT_TRUE(parent.hwnd);
  MoveWindow(parent.hwnd, 100, 80, 400, 300, TRUE);
  RecordingWindow child(parent.hwnd, WS_CHILD | WS_VISIBLE);
  child.moveWindow(20, 30, 50, 40, true);
  child.resize(70, 60);
  EXPECT_EQ("20,30,90,90", rectText(parent.getChildRect(child.hwnd)));
}

namespace {

class Crasher : public Window {
public:
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    if (msg == MSG_PING)
      *static_cast<volatile int*>(nullptr) = 1;
    return Window::handleMessage(h, msg, wParam, lParam, handled);
  }
};

void crashInsideAWindow()
{
  Crasher crasher;
  crasher.style = WS_POPUP | WS_VISIBLE;
  crasher.create(10, 10, 100, 100, 0, 0, GetModuleHandleW(nullptr));
  SendMessageW(crasher.hwnd, MSG_PING, 0, 0);
}

}

// A crash must end the program with a failure at once, not wait on a dialog.
TEST(Window, CrashInsideAWindowEndsTheProgram)
{
  DWORD start = GetTickCount();
  EXPECT_EXIT(crashInsideAWindow(), [](int code) { return code != 0; }, "");
  EXPECT_LT(GetTickCount() - start, 20000u);
}
