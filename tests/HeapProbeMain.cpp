// Allocates, frees again unless its argument is "leaks", and exits, with the
// debug output on standard output: the heap tests read the whole run's report.
#include "Debug.h"
#include "DebugHeap.h"

#include <cstdio>
#include <cstring>

namespace {

// The () zero-fills after the call, so the call to operator new[] is not
// turned into a jump that would hide this function from the stack walk.
__attribute__((noinline)) char* allocateInKnownPlace()
{
  printf("new at line %d\n", __LINE__ + 1);
  return new char[20]();
}

}

int main(int argc, char** argv)
{
  setDebugOutput([](const char* line) {
    fputs(line, stdout);
    fflush(stdout);
  });
  printf("malloc at line %d\n", __LINE__ + 1);
  char* block = static_cast<char*>(DEBUG_MALLOC(10));
  char* array = allocateInKnownPlace();
  if (argc < 2 || strcmp(argv[1], "leaks") != 0) {
    DEBUG_FREE(block);
    delete[] array;
  }
  return 0;
}
