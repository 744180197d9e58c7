// The main of every test program: GoogleTest, and a check that makes the
// program fail when blocks of the tracked heap are still live at its exit.
// The check runs when the heap stops, after every static object (the test
// framework's registry, the tests' own recording buffers) has been
// destroyed, so what is left is leaked. CTest runs each test as a process
// of its own, so a leak fails the test that made it.
#include "DebugHeap.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int LEAK_EXIT_CODE = 3;
const int CRASH_EXIT_CODE = 5;

// False in a death test's child, which ends inside a test.
bool _testsFinished;

// The framework keeps a few blocks to the very end on purpose (per-thread
// state made on first use). Its code has no line numbers in the map, so
// those blocks carry the name of one of its functions.
bool isFrameworkBlock(const char* file)
{
  for (const char* at = strstr(file, "testing::"); at; at = strstr(at + 1, "testing::")) {
    if (at == file || !(isalnum(static_cast<unsigned char>(at[-1])) || at[-1] == '_'))
      return true;
  }
  return false;
}

void reportLeak(const void* pointer, unsigned size, const char* file, int line, void* count)
{
  if (!file)
    file = "(no file)";
  if (isFrameworkBlock(file))
    return;
  fprintf(stderr, "Leaked %u bytes from %s:%d [%p]\n", size, file, line, pointer);
  ++*static_cast<int*>(count);
}

void failOnLeaks()
{
  if (!_testsFinished)
    return;
  int leaks = 0;
  debugVisitBlocksAfter(nullptr, reportLeak, &leaks);
  if (leaks == 0)
    return;
  fprintf(stderr, "%d blocks leaked: the test program fails.\n", leaks);
  fflush(stdout);
  fflush(stderr);
  _exit(LEAK_EXIT_CODE);
}

// Wine starts its debugger on a crash but lets the other threads run on, so a
// test whose worker thread crashed could still end with exit code 0.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* info)
{
  fprintf(stderr, "Crash: exception %08lx at %p\n", info->ExceptionRecord->ExceptionCode,
    info->ExceptionRecord->ExceptionAddress);
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), CRASH_EXIT_CODE);
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
