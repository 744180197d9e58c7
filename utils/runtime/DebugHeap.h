#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The tracked heap: global new and delete, and the malloc family below, keep
// every live block in one list with the source position that allocated it,
// guard words around the data, and a leak report at process exit. Messages go
// to the debug output: category 98 per call, 99 for errors and the report.

// Where a code address lies: the function, and the source file and line
// when the map has line numbers for it.
struct CodePosition {
  const char* file;
  const char* function;
  int line;
};

struct DebugListLink {
  DebugListLink* next;
  DebugListLink* prev;
};

// Sits in front of the user data; the 4 bytes after the data hold the tail guard.
struct DebugBlockHeader {
  uint32_t magic;  // DEBUG_BLOCK_MAGIC while the block is live
  DebugListLink list;
  uint32_t size;  // of the user data
  char* file;     // own copy of the allocating position's file text
  int line;
};

const uint32_t DEBUG_BLOCK_MAGIC = 0x12345678;

// Without a started heap each of these is the C library's function.
void* debugAllocBlock(const char* file, int line, size_t size);
void* debugMalloc(const char* file, int line, size_t size);
void* debugCalloc(const char* file, int line, size_t count, size_t size);
void* debugRealloc(const char* file, int line, void* p, size_t size);
char* debugStrdup(const char* file, int line, const char* str);
wchar_t* debugWcsdup(const char* file, int line, const wchar_t* str);
void debugFreeBlock(const char* file, int line, void* p);
void debugFree(const char* file, int line, void* p);

#define DEBUG_MALLOC(size) debugMalloc(__FILE__, __LINE__, (size))
#define DEBUG_CALLOC(count, size) debugCalloc(__FILE__, __LINE__, (count), (size))
#define DEBUG_REALLOC(p, size) debugRealloc(__FILE__, __LINE__, (p), (size))
#define DEBUG_STRDUP(str) debugStrdup(__FILE__, __LINE__, (str))
#define DEBUG_WCSDUP(str) debugWcsdup(__FILE__, __LINE__, (str))
#define DEBUG_FREE(p) debugFree(__FILE__, __LINE__, (p))

// Names the code `skip` + 1 frames up from the caller of findCaller.
void findCaller(CodePosition& out, int skip);
// Return addresses up the chain of frame pointers, this function's own first.
int walkStack(unsigned* out, int max);
// The same from any frame of a stack that lies between low and high.
int walkFrames(const void* framePointer, uintptr_t low, uintptr_t high, unsigned* out, int max);
// Names an address in this executable's code from its map file (false
// without one). Takes no lock and allocates nothing.
bool lookupCode(unsigned address, CodePosition& out);

void reportLeaks();

// Visits, oldest first, the live blocks linked after the live block `mark`
// (made or reallocated later than it), or every block when `mark` is null.
// The visitor runs under the heap lock and must not allocate.
typedef void (*DebugBlockVisitor)(const void* pointer, unsigned size, const char* file, int line, void* context);
void debugVisitBlocksAfter(const void* mark, DebugBlockVisitor visit, void* context);

// Called once at the very end of the heap's stop, after the leak report,
// when the blocks still listed are the program's leaks.
typedef void (*DebugHeapExitCheck)();
void setDebugHeapExitCheck(DebugHeapExitCheck check);

void debugInvalidateRect(HWND hWnd, const RECT* rect, BOOL erase);
