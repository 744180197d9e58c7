// Allocates as its argument says, "leaks" or "clean", and exits, with the
// debug output on standard output: the heap tests read the report of the
// whole run, from the heap's start to its leak report at exit.
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

char* _kept[2];

}

int main(int argc, char** argv)
{
  setDebugOutput([](const char* line) {
    fputs(line, stdout);
    fflush(stdout);
  });
  bool leak = argc > 1 && strcmp(argv[1], "leaks") == 0;
  printf("malloc at line %d\n", __LINE__ + 1);
  _kept[0] = static_cast<char*>(DEBUG_MALLOC(10));
  _kept[1] = allocateInKnownPlace();
  if (!leak) {
    DEBUG_FREE(_kept[0]);
    delete[] _kept[1];
  }
  return 0;
}
