#include "DebugWindow.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const int THREADS = 8;
// More than one drain takes: the first posts the next.
const int LINES_PER_THREAD = 2000;

int pendingDrains(HWND window)
{
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, window, WM_USER, WM_USER, PM_REMOVE))
    count++;
  return count;
}

// A log window as a message-only child, its start line already shown.
class DebugWindowTest : public ::testing::Test {
protected:
  DebugWindowTest() : log(GetModuleHandleW(nullptr))
  {
    log.create(HWND_MESSAGE);
    SendMessageW(log.hwnd, WM_SIZE, 0, MAKELPARAM(300, 100));
    pumpMessages();
  }

  std::vector<std::wstring> texts()
  {
    std::vector<std::wstring> all;
    for (int i = 0; i < log.getCount(); i++)
      all.push_back(log.getText(i));
    return all;
  }

  DebugWindow log;
};

// Its first post fails, as on a full message queue.
class FailingPostLog : public DebugWindow {
public:
  FailingPostLog() : DebugWindow(GetModuleHandleW(nullptr)) {}
  bool postDrain() override { return ++posts > 1 && DebugWindow::postDrain(); }
  int posts = 0;
};

}

TEST_F(DebugWindowTest, LinesFromManyThreadsArriveInOrderAfterOnePostedMessage)
{
  EXPECT_EQ(std::vector<std::wstring>{L"Debug Window Started."}, texts());
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; t++)
    threads.emplace_back([this, t] {
      for (int i = 0; i < LINES_PER_THREAD; i++)
        log.addLine((std::to_wstring(t) + L" " + std::to_wstring(i)).c_str(), "L_Test");
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(1, pendingDrains(log.hwnd));
  SendMessageW(log.hwnd, WM_USER, 0, 0);
  pumpMessages();
  ASSERT_EQ(1 + THREADS * LINES_PER_THREAD, log.getCount());
  std::vector<int> next(THREADS, 0);
  for (int i = 1; i < log.getCount(); i++) {
    int thread = 0, line = 0;
    ASSERT_EQ(2, swscanf(log.getText(i), L"%d %d", &thread, &line));
    EXPECT_EQ(next[thread]++, line) << "thread " << thread;
  }
  // The queue is empty again: the next line posts anew.
  log.addLine(L"again", "L_Test");
  EXPECT_EQ(1, pendingDrains(log.hwnd));
}

TEST_F(DebugWindowTest, KeepsOnlyTheNewestLinesBeyondItsLimit)
{
  log.setMaxLines(5);
  for (int i = 0; i < 8; i++)
    log.addLine(std::to_wstring(i).c_str(), "L_Test");
  pumpMessages();
  EXPECT_EQ((std::vector<std::wstring>{L"3", L"4", L"5", L"6", L"7"}), texts());
  EXPECT_EQ(0, log.getSelected());
}

TEST(DebugWindow, AFailedPostLeavesTheNextLineToPost)
{
  FailingPostLog log;
  log.create(HWND_MESSAGE);
  log.addLine(L"more", "L_Test");
  pumpMessages();
  EXPECT_EQ(2, log.getCount());
}

TEST_F(DebugWindowTest, FollowsNewLinesOnlyWhenAtTheEnd)
{
  for (int i = 0; i < 50; i++)
    log.addLine(L"line", "L_Test");
  pumpMessages();
  EXPECT_TRUE(log.isAtEnd());
  log.scrollTo(0);
  log.addLine(L"more", "L_Test");
  pumpMessages();
  EXPECT_EQ(0, log.getScrollOffset());
}

TEST_F(DebugWindowTest, ATextWithLineEndsIsOneLineAndGoesToTheClipboardUnchangedWithCrLf)
{
  log.addLine(L"two\r\nlines\n\n", "DBG");
  log.addLine(L"Grüße", "L_Test");
  pumpMessages();
  ASSERT_EQ(3, log.getCount());
  EXPECT_EQ(log.getItem(0)->height(), log.getItem(1)->height());
  SendMessageW(log.hwnd, WM_COMMAND, DEBUG_WINDOW_COPY, 0);
  EXPECT_EQ(L"Debug Window Started.\r\ntwo\r\nlines\n\n\r\nGrüße\r\n", takeText(getClipboardText(nullptr)));
}
