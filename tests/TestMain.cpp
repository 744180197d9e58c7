// The main of every test program: GoogleTest, and a check that makes the
// program fail when blocks of the tracked heap are still live when the heap
// stops, after every static object has been destroyed. CTest runs each test
// as a process of its own, so a leak fails the test that made it.
#include "DebugHeap.h"

#include <gtest/gtest.h>
#include <windows.h>

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

}

int main(int argc, char** argv)
{
  SetUnhandledExceptionFilter(endOnCrash);
  ::testing::InitGoogleTest(&argc, argv);
  setDebugHeapExitCheck(failOnLeaks);
  int result = RUN_ALL_TESTS();
  _testsFinished = true;
  return result;
}
