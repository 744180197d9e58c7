#include "DebugHeap.h"

#include "Assert.h"
#include "Debug.h"
#include "MapFile.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

const unsigned short HEAP_TRACE = 98;
const unsigned short HEAP_REPORT = 99;
const uint32_t FREED_MAGIC = 0xDDDDDDDD;
const size_t GUARD_SIZE = sizeof(uint32_t);
// Larger user sizes would wrap the block size around.
const size_t MAX_USER_SIZE = SIZE_MAX - sizeof(DebugBlockHeader) - GUARD_SIZE;
const int CALLER_FRAMES = 5;

DebugListLink _list = {&_list, &_list};
CRITICAL_SECTION _lock;
bool _init;
// Set at stop: blocks made while the heap was on can still be freed after it
// (late destructors, threads outliving exit), and are found in the list.
bool _stopped;
MapFile* _map;
DebugHeapExitCheck _exitCheck;
// How far the module was moved from the load address that the map assumes.
uintptr_t _relocation;

unsigned address(const void* p)
{
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

DebugBlockHeader* headerOf(void* p)
{
  return static_cast<DebugBlockHeader*>(p) - 1;
}

DebugBlockHeader* blockOf(DebugListLink* link)
{
  return reinterpret_cast<DebugBlockHeader*>(reinterpret_cast<char*>(link) - offsetof(DebugBlockHeader, list));
}

size_t blockSize(size_t size)
{
  return sizeof(DebugBlockHeader) + size + GUARD_SIZE;
}

unsigned char* tailOf(DebugBlockHeader* block)
{
  return reinterpret_cast<unsigned char*>(block + 1) + block->size;
}

void writeTail(DebugBlockHeader* block)
{
  memcpy(tailOf(block), &DEBUG_BLOCK_MAGIC, GUARD_SIZE);
}

bool tailIntact(DebugBlockHeader* block)
{
  uint32_t guard;
  memcpy(&guard, tailOf(block), GUARD_SIZE);
  return guard == DEBUG_BLOCK_MAGIC;
}

void linkAtTail(DebugBlockHeader* block)
{
  EnterCriticalSection(&_lock);
  block->list.next = &_list;
  block->list.prev = _list.prev;
  _list.prev->next = &block->list;
  _list.prev = &block->list;
  LeaveCriticalSection(&_lock);
}

void unlinkLocked(DebugBlockHeader* block)
{
  ASSERT(block->list.next != 0);
  block->list.prev->next = block->list.next;
  block->list.next->prev = block->list.prev;
  block->list.next = nullptr;
  block->list.prev = nullptr;
}

void unlink(DebugBlockHeader* block)
{
  EnterCriticalSection(&_lock);
  unlinkLocked(block);
  LeaveCriticalSection(&_lock);
}

// The block must be unlinked already.
void releaseBlock(DebugBlockHeader* block)
{
  free(block->file);
  // So that a second free of the pointer is invalid. Volatile: a plain store
  // just before free is dead to the optimiser, which drops it.
  *static_cast<volatile uint32_t*>(&block->magic) = FREED_MAGIC;
  free(block);
}

// Walks from the block after `from` to the block that was last when the walk
// began, so blocks that the visitor's own output allocates are not visited.
template <typename Visit>
void forEachBlockAfter(DebugListLink* from, Visit visit)
{
  EnterCriticalSection(&_lock);
  DebugListLink* last = _list.prev;
  if (from != last) {
    for (DebugListLink* link = from->next;; link = link->next) {
      visit(blockOf(link));
      if (link == last)
        break;
    }
  }
  LeaveCriticalSection(&_lock);
}

DebugBlockHeader* takeListedAfterStop(void* p)
{
  if (!_stopped || !p)
    return nullptr;
  DebugBlockHeader* found = nullptr;
  EnterCriticalSection(&_lock);
  for (DebugListLink* link = _list.next; link != &_list && !found; link = link->next) {
    if (blockOf(link) + 1 == p)
      found = blockOf(link);
  }
  if (found)
    unlinkLocked(found);
  LeaveCriticalSection(&_lock);
  return found;
}

void freeUntracked(void* p)
{
  DebugBlockHeader* block = takeListedAfterStop(p);
  if (block)
    releaseBlock(block);
  else
    free(p);
}

void* reallocUntracked(void* p, size_t size)
{
  DebugBlockHeader* block = takeListedAfterStop(p);
  if (!block)
    return realloc(p, size);
  void* copy = size ? malloc(size) : nullptr;
  if (size && !copy) {
    linkAtTail(block);
    return nullptr;
  }
  memcpy(copy, p, size < block->size ? size : block->size);
  releaseBlock(block);
  return copy;
}

void startDebugHeap()
{
  char path[1024];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  path[length < sizeof path ? length : sizeof path - 1] = '\0';
  const char* base = strrchr(path, '\\');
  base = base ? base + 1 : path;
  char mapName[sizeof path + 4];
  strcpy(mapName, base);
  char* dot = strrchr(mapName, '.');
  strcpy(dot ? dot : mapName + strlen(mapName), ".map");

  // Made while the heap is still off, so from plain storage; kept for the run.
  _map = new MapFile;
  _map->load(mapName, 0);
  _relocation = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)) - _map->getLoadAddress();

  _list.next = _list.prev = &_list;
  InitializeCriticalSection(&_lock);
  _init = true;
  debugPrint(HEAP_REPORT, "Debug heap starting up.");
}

// The lock stays: frees that come after the stop still take it.
void stopDebugHeap()
{
  debugPrint(HEAP_REPORT, "Debug heap shutting down.");
  _init = false;
  _stopped = true;
  reportLeaks();
  if (_exitCheck)
    _exitCheck();
}

// Constructed before every static object with default priority and so
// destroyed after all of them.
struct DebugHeapLifetime {
  DebugHeapLifetime() { startDebugHeap(); }
  ~DebugHeapLifetime() { stopDebugHeap(); }
};

__attribute__((init_priority(101))) DebugHeapLifetime _lifetime;

// Inlined into each operator, so that the operator itself is the frame that
// findCaller's skip counts from.
inline __attribute__((always_inline)) void* allocateForCaller(size_t size)
{
  if (!_init)
    return malloc(size ? size : 1);
  CodePosition caller;
  findCaller(caller, 1);
  debugPrint(HEAP_TRACE, "operator new: file returned %s", caller.file);
  void* p = debugAllocBlock(caller.file, caller.line, size);
  if (p)
    debugPrint(HEAP_TRACE, "%s:%d: new( %d ) [%p]", caller.file, caller.line, static_cast<int>(size), p);
  else
    debugPrint(HEAP_TRACE, "Out of memory.");
  return p;
}

inline __attribute__((always_inline)) void releaseForCaller(void* p)
{
  if (!_init) {
    freeUntracked(p);
    return;
  }
  if (!p)
    return;
  CodePosition caller;
  findCaller(caller, 2);
  debugPrint(HEAP_TRACE, "%s:%d: delete [%p]", caller.file, caller.line, p);
  debugFreeBlock(caller.file, caller.line, p);
}

void* allocateOrThrow(void* p)
{
  if (!p)
    throw std::bad_alloc();
  return p;
}

}

void* debugAllocBlock(const char* file, int line, size_t size)
{
  ASSERT(_init);
  DebugBlockHeader* block = nullptr;
  if (size <= MAX_USER_SIZE)
    block = static_cast<DebugBlockHeader*>(malloc(blockSize(size)));
  if (!block) {
    debugPrint(HEAP_TRACE, "Out of memory.");
    return nullptr;
  }
  block->magic = DEBUG_BLOCK_MAGIC;
  block->size = static_cast<uint32_t>(size);
  block->line = line;
  block->file = file ? strdup(file) : nullptr;
  if (file && !block->file) {
    free(block);
    debugPrint(HEAP_TRACE, "Out of memory.");
    return nullptr;
  }
  writeTail(block);
  linkAtTail(block);
  return block + 1;
}

void* debugMalloc(const char* file, int line, size_t size)
{
  if (!_init)
    return malloc(size);
  void* p = debugAllocBlock(file, line, size);
  if (!p) {
    debugPrint(HEAP_TRACE, "Out of memory.");
    return nullptr;
  }
  debugPrint(HEAP_TRACE, "%s:%d: malloc( %d ) [%p]", file, line, static_cast<int>(size), p);
  return p;
}

void* debugCalloc(const char* file, int line, size_t count, size_t size)
{
  if (!_init)
    return calloc(count, size);
  void* p = nullptr;
  if (size == 0 || count <= MAX_USER_SIZE / size)
    p = debugAllocBlock(file, line, count * size);
  if (!p) {
    debugPrint(HEAP_TRACE, "%s:%d: calloc( %d, %d ) failed.", file, line, static_cast<int>(count), static_cast<int>(size));
    return nullptr;
  }
  memset(p, 0, count * size);
  debugPrint(HEAP_TRACE, "%s:%d: calloc( %d, %d ) [%p]", file, line, static_cast<int>(count), static_cast<int>(size), p);
  return p;
}

// A tracked copy of a block of bytes, for the strdup family.
static void* duplicateBlock(const char* file, int line, const void* source, size_t size)
{
  void* copy = debugAllocBlock(file, line, size);
  if (!copy) {
    debugPrint(HEAP_TRACE, "Out of memory.");
    return nullptr;
  }
  memcpy(copy, source, size);
  return copy;
}

char* debugStrdup(const char* file, int line, const char* str)
{
  ASSERT(str);
  if (!_init)
    return strdup(str);
  char* copy = static_cast<char*>(duplicateBlock(file, line, str, strlen(str) + 1));
  if (copy)
    debugPrint(HEAP_TRACE, "%s:%d: strdup( \"%s\" ) [%p]", file, line, str, copy);
  return copy;
}

wchar_t* debugWcsdup(const char* file, int line, const wchar_t* str)
{
  ASSERT(str);
  if (!_init)
    return _wcsdup(str);
  wchar_t* copy = static_cast<wchar_t*>(duplicateBlock(file, line, str, (wcslen(str) + 1) * sizeof(wchar_t)));
  if (copy)
    debugPrint(HEAP_TRACE, "%s:%d: strdup( \"%ls\" ) [%p]", file, line, str, copy);
  return copy;
}

void debugFreeBlock(const char* file, int line, void* p)
{
  ASSERT(_init);
  if (!p)
    return;
  DebugBlockHeader* block = headerOf(p);
  if (block->magic != DEBUG_BLOCK_MAGIC) {
    debugPrint(HEAP_TRACE, "Invalid free of [%08x] in %s:%d\n", address(p), file, line);
    ASSERT(0);
  }
  if (!tailIntact(block)) {
    debugPrint(HEAP_REPORT, "%s:%d: free(%p): Sentry corrupted.", file, line, p);
    ASSERT(0);
  }
  unlink(block);
  releaseBlock(block);
}

void debugFree(const char* file, int line, void* p)
{
  if (!_init) {
    freeUntracked(p);
    return;
  }
  if (!p)
    return;
  int size = static_cast<int>(headerOf(p)->size);
  debugFreeBlock(file, line, p);
  debugPrint(HEAP_TRACE, "%s:%d: free( [%p], %d )", file, line, p, size);
}

void* debugRealloc(const char* file, int line, void* p, size_t size)
{
  if (!_init)
    return reallocUntracked(p, size);
  if (!p)
    return debugMalloc(file, line, size);
  if (size == 0) {
    debugFreeBlock(file, line, p);
    debugPrint(HEAP_TRACE, "%s:%d: realloc/free( [%08x], %d )", file, line, address(p), 0);
    return nullptr;
  }
  DebugBlockHeader* block = headerOf(p);
  if (block->magic != DEBUG_BLOCK_MAGIC) {
    debugPrint(HEAP_REPORT, "%s:%d: realloc( [%08x], %d ): ptr is bad.", file, line, address(p), static_cast<int>(size));
    ASSERT(0);
    return nullptr;
  }
  DebugBlockHeader* moved = nullptr;
  if (size <= MAX_USER_SIZE) {
    unlink(block);
    moved = static_cast<DebugBlockHeader*>(realloc(block, blockSize(size)));
  }
  if (!moved) {
    debugPrint(HEAP_TRACE, "%s:%d: realloc( %08x, %d ): failed.", file, line, address(p), static_cast<int>(size));
    if (size <= MAX_USER_SIZE)
      linkAtTail(block);
    return nullptr;
  }
  moved->size = static_cast<uint32_t>(size);
  writeTail(moved);
  linkAtTail(moved);
  debugPrint(HEAP_TRACE, "%s:%d: malloc( %d ) [%p]", file, line, static_cast<int>(size), moved + 1);
  return moved + 1;
}

// Follows saved frame pointers while each 8-byte frame record (saved frame
// pointer, return address) lies between low and high, going upwards.
int walkFrames(const void* framePointer, uintptr_t low, uintptr_t high, unsigned* out, int max)
{
  const uintptr_t* frame = static_cast<const uintptr_t*>(framePointer);
  int count = 0;
  while (count < max) {
    uintptr_t at = reinterpret_cast<uintptr_t>(frame);
    if (at % sizeof(uintptr_t) != 0 || at < low || at > high - 2 * sizeof(uintptr_t))
      break;
    if (frame[1] == 0)
      break;
    out[count++] = static_cast<unsigned>(frame[1]);
    const uintptr_t* next = reinterpret_cast<const uintptr_t*>(frame[0]);
    if (next <= frame)
      break;
    frame = next;
  }
  return count;
}

__attribute__((noinline)) int walkStack(unsigned* out, int max)
{
  // The thread's information block, as NtCurrentTeb reads it (whose header
  // form trips the compiler's bounds warning).
  const NT_TIB* tib;
  asm("movl %%fs:0x18, %0" : "=r"(tib));
  return walkFrames(__builtin_frame_address(0), reinterpret_cast<uintptr_t>(tib->StackLimit),
                    reinterpret_cast<uintptr_t>(tib->StackBase), out, max);
}

bool lookupCode(unsigned address, CodePosition& out)
{
  return _map && _map->lookup(address - _relocation, out);
}

__attribute__((noinline)) void findCaller(CodePosition& out, int skip)
{
  unsigned stack[CALLER_FRAMES];
  int count = walkStack(stack, CALLER_FRAMES);
  out.function = "unknown function";
  out.file = out.function;
  out.line = 0;
  if (skip + 1 < count)
    lookupCode(stack[skip + 1], out);
}

void reportLeaks()
{
  if (_list.next == &_list) {
    debugPrint(HEAP_REPORT, "No memory leaks detected.");
    return;
  }
  forEachBlockAfter(&_list, [](DebugBlockHeader* block) {
    debugPrint(HEAP_REPORT, "Leaked %d bytes from %s:%d [%08x]", static_cast<int>(block->size), block->file,
               block->line, address(block + 1));
  });
}

void debugVisitBlocksAfter(const void* mark, DebugBlockVisitor visit, void* context)
{
  DebugListLink* from = &_list;
  if (mark) {
    DebugBlockHeader* block = headerOf(const_cast<void*>(mark));
    ASSERT(block->magic == DEBUG_BLOCK_MAGIC);
    from = &block->list;
  }
  forEachBlockAfter(from, [&](DebugBlockHeader* block) {
    visit(block + 1, block->size, block->file, block->line, context);
  });
}

void setDebugHeapExitCheck(DebugHeapExitCheck check)
{
  _exitCheck = check;
}

void debugInvalidateRect(HWND hWnd, const RECT* rect, BOOL erase)
{
  ASSERT(hWnd != NULL);
  InvalidateRect(hWnd, rect, erase);
}

void* operator new(size_t size)
{
  return allocateOrThrow(allocateForCaller(size));
}

void* operator new[](size_t size)
{
  return allocateOrThrow(allocateForCaller(size));
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
  return allocateForCaller(size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
  return allocateForCaller(size);
}

void operator delete(void* p) noexcept
{
  releaseForCaller(p);
}

void operator delete[](void* p) noexcept
{
  releaseForCaller(p);
}

void operator delete(void* p, size_t) noexcept
{
  releaseForCaller(p);
}

void operator delete[](void* p, size_t) noexcept
{
  releaseForCaller(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
  releaseForCaller(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
  releaseForCaller(p);
}
