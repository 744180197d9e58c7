// The main of every test program: GoogleTest, a check that makes the
// program fail when blocks of the tracked heap are still live when the heap
// stops, after every static object has been destroyed, and a deadline for
// every test. CTest runs each test as a process of its own, so a leak fails
// the test that made it.
#include "DebugHeap.h"
#include "TestDeadline.h"
#include "TestSupport.h"
#include "ThreadStacks.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// False in a death test's child, which ends inside a test.
bool _testsFinished;

// The framework keeps a few blocks to the very end on purpose (per-thread
// state made on first use). Its code has no line numbers in the map, so
// those blocks carry the name of one of its functions.
void reportLeak(const void* pointer, unsigned size, const char* file, int line, void* count)
{
  if (file && strstr(file, "testing::"))
    return;
  fprintf(stderr, "Leaked %u bytes from %s:%d [%p]\n", size, file ? file : "(no file)", line, pointer);
  ++*static_cast<int*>(count);
}

void endWith(int code)
{
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), code);
}

void failOnLeaks()
{
  int leaks = 0;
  if (_testsFinished)
    debugVisitBlocksAfter(nullptr, reportLeak, &leaks);
  if (leaks == 0)
    return;
  fprintf(stderr, "%d blocks leaked: the test program fails.\n", leaks);
  endWith(3);
}

// Wine starts its debugger on a crash but lets the other threads run on, so a
// test whose worker thread crashed could still end with exit code 0.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* info)
{
  fprintf(stderr, "Crash: exception %08lx at %p\n", info->ExceptionRecord->ExceptionCode,
          info->ExceptionRecord->ExceptionAddress);
  endWith(5);
  return EXCEPTION_CONTINUE_SEARCH;
}

// The tick count at which the running test has outlived its time; 0 while
// no test runs.
std::atomic<ULONGLONG> _expiry;
char _runningTest[256];

// A hung test ends its program with its name and every thread's stack, well
// before CTest's time-out would end it without either. Our children go
// first, or one holding our output would keep CTest waiting.
void expire()
{
  fprintf(stderr, "\n[ DEADLINE ] %s outlived its deadline: every other thread's stack follows.\n", _runningTest);
  fflush(stderr);
  printThreadStacks();
  forEachChildOf(GetCurrentProcessId(), [](DWORD id) {
    HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    TerminateProcess(child, 1);
    CloseHandle(child);
  });
  endWith(6);
}

HANDLE _stopWatching;

DWORD WINAPI watch(void*)
{
  while (WaitForSingleObject(_stopWatching, 250) == WAIT_TIMEOUT) {
    ULONGLONG expiry = _expiry;
    if (expiry && GetTickCount64() >= expiry)
      expire();
  }
  return 0;
}

struct DeadlineListener : ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& test) override
  {
    snprintf(_runningTest, sizeof _runningTest, "%s.%s", test.test_suite_name(), test.name());
    _expiry = GetTickCount64() + DEFAULT_TEST_DEADLINE_MS;
  }
  void OnTestEnd(const ::testing::TestInfo&) override { _expiry = 0; }
};

}

Deadline::Deadline(DWORD milliseconds) : _previous(_expiry.exchange(GetTickCount64() + milliseconds))
{
}

Deadline::~Deadline()
{
  _expiry = _previous;
}

int main(int argc, char** argv)
{
  SetUnhandledExceptionFilter(endOnCrash);
  ::testing::InitGoogleTest(&argc, argv);
  setDebugHeapExitCheck(failOnLeaks);
  static DeadlineListener listener;
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  listeners.Append(&listener);
  _stopWatching = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE watcher = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
  int result = RUN_ALL_TESTS();
  // Wine now and then crashes when a process ends while another of its
  // threads still runs (docs/wine-hangs.md): the watcher ends first.
  SetEvent(_stopWatching);
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  CloseHandle(_stopWatching);
  listeners.Release(&listener);
  _testsFinished = true;
  return result;
}
