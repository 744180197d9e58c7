#include "Debug.h"
#include "DebugHeap.h"
#include "PipedProgram.h"
#include "Portability.h"
#include "Sink.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct BlockInfo {
  bool live = false;
  unsigned size = 0;
  char file[260] = {};
  int line = 0;
};

BlockInfo blockInfo(const void* p)
{
  struct Search {
    const void* p;
    BlockInfo info;
  } search{p, {}};
  debugVisitBlocksAfter(
      nullptr,
      [](const void* pointer, unsigned size, const char* file, int line, void* context) {
        Search& s = *static_cast<Search*>(context);
        if (pointer != s.p)
          return;
        s.info.live = true;
        s.info.size = size;
        snprintf(s.info.file, sizeof s.info.file, "%s", file ? file : "");
        s.info.line = line;
      },
      &search);
  return search.info;
}

int blocksAfter(const void* mark)
{
  int count = 0;
  debugVisitBlocksAfter(mark, [](const void*, unsigned, const char*, int, void* n) { ++*static_cast<int*>(n); },
                        &count);
  return count;
}

void toStandardError(const char* line)
{
  fputs(line, stderr);
}

// In a death test's child: every heap message to standard error.
void showHeapMessages()
{
  static const int list[] = {98, 99, 0};
  setDebugCategories(list);
  setDebugOutput(toStandardError);
}

// The () and the stored value keep the call to operator new a real call
// made from this function, not a jump that would hide it from the stack walk.
__attribute__((noinline)) int* allocateInKnownFunction()
{
  return new int(7);
}
const int KNOWN_NEW_LINE = __LINE__ - 2;

__attribute__((noinline)) void whereAmI(CodePosition& out)
{
  findCaller(out, 0);
  asm volatile("" ::: "memory");  // keeps the call above from becoming a jump
}
const int WHERE_AM_I_LINE = __LINE__ - 3;

}

TEST(DebugHeapTest, EachFunctionRecordsSizeFileAndLine)
{
  void* p = DEBUG_MALLOC(10);
  const int line = __LINE__ - 1;
  unsigned char* zeroed = static_cast<unsigned char*>(DEBUG_CALLOC(25, 4));
  char* s = DEBUG_STRDUP("vid\xc3\xa9o 1.mp4");
  wchar_t* w = DEBUG_WCSDUP(L"vid\u00e9o \u4e2d.mp4");
  char* empty = DEBUG_STRDUP("");

  BlockInfo info = blockInfo(p);
  EXPECT_EQ(info.size, 10u);
  EXPECT_STREQ(info.file, __FILE__);
  EXPECT_EQ(info.line, line);
  EXPECT_EQ(blockInfo(zeroed).size, 100u);
  EXPECT_EQ(std::count(zeroed, zeroed + 100, 0), 100);
  EXPECT_STREQ(s, "vid\xc3\xa9o 1.mp4");
  EXPECT_EQ(blockInfo(s).size, strlen(s) + 1);
  EXPECT_STREQ(w, L"vid\u00e9o \u4e2d.mp4");
  EXPECT_EQ(blockInfo(w).size, 2 * wcslen(w) + 2);
  EXPECT_EQ(blockInfo(empty).size, 1u);

  for (void* block : {p, static_cast<void*>(zeroed), static_cast<void*>(s), static_cast<void*>(w),
                      static_cast<void*>(empty)}) {
    DEBUG_FREE(block);
    EXPECT_FALSE(blockInfo(block).live);
  }
  DEBUG_FREE(nullptr);
}

TEST(DebugHeapTest, ReallocKeepsDataAndFirstPosition)
{
  char* p = static_cast<char*>(DEBUG_REALLOC(nullptr, 8));  // null: allocates
  const int line = __LINE__ - 1;
  memcpy(p, "abcdefg", 8);
  p = static_cast<char*>(DEBUG_REALLOC(p, 100000));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abcdefg");
  memset(p + 8, 'z', 100000 - 8);
  EXPECT_EQ(blockInfo(p).size, 100000u);

  p = static_cast<char*>(DEBUG_REALLOC(p, 4));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "abcd", 4), 0);
  BlockInfo shrunk = blockInfo(p);
  EXPECT_EQ(shrunk.size, 4u);
  EXPECT_STREQ(shrunk.file, __FILE__);
  EXPECT_EQ(shrunk.line, line);

  EXPECT_EQ(DEBUG_REALLOC(p, 0), nullptr);  // frees, after checking the rewritten tail guard
  EXPECT_FALSE(blockInfo(p).live);
}

TEST(DebugHeapTest, SizesThatWouldWrapAroundAreRefused)
{
  EXPECT_EQ(DEBUG_MALLOC(SIZE_MAX), nullptr);
  EXPECT_EQ(DEBUG_MALLOC(SIZE_MAX - 8), nullptr);  // header + size + guard wraps to a few bytes
  EXPECT_EQ(DEBUG_CALLOC(0x10000, 0x10001), nullptr);
  EXPECT_EQ(DEBUG_CALLOC(SIZE_MAX / 2 + 1, 2), nullptr);

  char* p = static_cast<char*>(DEBUG_MALLOC(4));
  memcpy(p, "abc", 4);
  EXPECT_EQ(DEBUG_REALLOC(p, SIZE_MAX - 8), nullptr);
  EXPECT_STREQ(p, "abc");  // the old block stays valid and tracked
  EXPECT_EQ(blockInfo(p).size, 4u);
  DEBUG_FREE(p);
}

TEST(DebugHeapTest, NewNamesTheAllocatingFunctionFromTheMap)
{
  int* p = allocateInKnownFunction();
  BlockInfo info = blockInfo(p);
  EXPECT_EQ(*p, 7);
  EXPECT_STREQ(info.file, __FILE__);
  EXPECT_EQ(info.line, KNOWN_NEW_LINE);
  EXPECT_EQ(info.size, sizeof(int));
  delete p;
  EXPECT_FALSE(blockInfo(p).live);
}

TEST(DebugHeapTest, FindCallerNamesFunctionFileAndLine)
{
  CodePosition position;
  whereAmI(position);
  EXPECT_STREQ(position.function, "(anonymous namespace)::whereAmI(CodePosition&)");
  EXPECT_STREQ(position.file, __FILE__);
  EXPECT_EQ(position.line, WHERE_AM_I_LINE);
}

TEST(DebugHeapTest, VisitsOnlyBlocksMadeAfterTheMarkOldestFirst)
{
  std::vector<const void*> seen;
  seen.reserve(8);
  void* mark = DEBUG_MALLOC(1);
  void* a = DEBUG_MALLOC(1);
  void* b = DEBUG_MALLOC(2);
  debugVisitBlocksAfter(
      mark,
      [](const void* pointer, unsigned, const char*, int, void* context) {
        static_cast<std::vector<const void*>*>(context)->push_back(pointer);  // within the reserve
      },
      &seen);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], a);
  EXPECT_EQ(seen[1], b);
  DEBUG_FREE(a);
  EXPECT_EQ(blocksAfter(mark), 1);
  DEBUG_FREE(b);
  EXPECT_EQ(blocksAfter(mark), 0);
  DEBUG_FREE(mark);
}

TEST(DebugHeapTest, ThreadsAllocatingAndFreeingAtOnceLoseAndSpoilNothing)
{
  const int THREADS = 8;
  const int STEPS = 20000;
  const int SLOTS = 32;
  void* mark = DEBUG_MALLOC(1);
  std::atomic<int> spoiled{0};
  // Blocks pass between threads through the box, so that many are freed by
  // another thread than the one that made them. Each block counts upwards
  // from its first byte; whoever frees or grows it checks that.
  std::atomic<unsigned char*> box[SLOTS] = {};

  auto worker = [&](int id) {
    std::mt19937 random(id);
    auto fill = [&](unsigned char* p, size_t size) {
      unsigned char seed = static_cast<unsigned char>(random());
      for (size_t i = 0; i < size; ++i)
        p[i] = static_cast<unsigned char>(seed + i);
    };
    auto check = [&](const unsigned char* p, size_t size) {
      for (size_t i = 1; i < size; ++i) {
        if (p[i] != static_cast<unsigned char>(p[0] + i)) {
          ++spoiled;
          return;
        }
      }
    };
    struct Held {
      unsigned char* p;
      size_t size;
    } held[SLOTS] = {}, made[SLOTS] = {};  // made: by new[], freed by delete[]
    for (int step = 0; step < STEPS; ++step) {
      int slot = random() % SLOTS;
      size_t size = 1 + random() % 300;
      Held& h = held[slot];
      Held& n = made[slot];
      if (!n.p) {
        n = {new unsigned char[size], size};
        fill(n.p, size);
      } else if (random() % 2) {
        check(n.p, n.size);
        delete[] n.p;
        n = {};
      }
      if (!h.p) {
        h = {static_cast<unsigned char*>(random() % 2 ? DEBUG_MALLOC(size) : DEBUG_CALLOC(size, 1)), size};
        fill(h.p, size);
        continue;
      }
      check(h.p, h.size);
      switch (random() % 3) {
      case 0:
        h.p = static_cast<unsigned char*>(DEBUG_REALLOC(h.p, size));
        check(h.p, size < h.size ? size : h.size);
        h.size = size;
        fill(h.p, size);
        break;
      case 1:
        DEBUG_FREE(box[random() % SLOTS].exchange(h.p));
        h = {};
        break;
      default:
        DEBUG_FREE(h.p);
        h = {};
      }
    }
    for (int slot = 0; slot < SLOTS; ++slot) {
      DEBUG_FREE(held[slot].p);
      delete[] made[slot].p;
    }
  };
  {
    std::vector<std::thread> threads;
    for (int id = 0; id < THREADS; ++id)
      threads.emplace_back(worker, id);
    for (std::thread& t : threads)
      t.join();
  }
  for (auto& slot : box)
    DEBUG_FREE(slot.exchange(nullptr));

  EXPECT_EQ(spoiled, 0);
  EXPECT_EQ(blocksAfter(mark), 0);
  DEBUG_FREE(mark);
}

TEST(DebugHeapDeathTest, FreeOfAPointerWithoutALiveHeaderIsFatal)
{
  const char* invalid = "Invalid free of \\[\\w+\\] in .*DebugHeapTest\\.cpp:\\d+";
  EXPECT_DEATH(
      {
        showHeapMessages();
        void* p = DEBUG_MALLOC(4);
        DEBUG_FREE(p);
        DEBUG_FREE(p);
      },
      invalid);
  EXPECT_DEATH(
      {
        showHeapMessages();
        alignas(8) unsigned char buffer[64] = {};
        void* volatile foreign = buffer + 32;  // hidden from the compiler's own check
        operator delete(foreign);
      },
      "Invalid free of");
  EXPECT_DEATH(
      {
        showHeapMessages();
        char* p = static_cast<char*>(DEBUG_MALLOC(16));
        reinterpret_cast<DebugBlockHeader*>(p)[-1].magic = 0x12345600;  // the guard in front
        DEBUG_FREE(p);
      },
      invalid);
  EXPECT_DEATH(
      {
        showHeapMessages();
        alignas(8) unsigned char buffer[64] = {};
        DEBUG_REALLOC(buffer + 32, 8);
      },
      "realloc\\( \\[\\w+\\], 8 \\): ptr is bad\\.");
}

TEST(DebugHeapDeathTest, ByteWrittenPastTheEndIsReported)
{
  EXPECT_DEATH(
      {
        showHeapMessages();
        char* p = static_cast<char*>(DEBUG_MALLOC(10));
        p[10] = '!';
        DEBUG_FREE(p);
      },
      "DebugHeapTest\\.cpp:\\d+: free\\(\\w+\\): Sentry corrupted\\.");
  EXPECT_DEATH(
      {
        showHeapMessages();
        int* volatile p = new int[3];  // hidden from the compiler's bounds check
        p[3] = 0;
        delete[] p;
      },
      "Sentry corrupted\\.");
}

namespace {

std::wstring probePath()
{
  return joinPath(getDirectory(getModulePath()), L"heap_probe.exe");
}

// Its standard output and error together.
std::string runProbe(const std::wstring& program, const char* scenario)
{
  PipedProgram child;
  StrSink output;
  if (!child.start({toUtf8(program), scenario}))
    return "not started";
  while (child.read(&output, &output, 10000)) {
  }
  return output._text;
}

int announcedLine(const std::string& output, const std::string& what)
{
  size_t at = output.find(what + " at line ");
  return at == std::string::npos ? -1 : atoi(output.c_str() + at + what.size() + 9);
}

}

TEST(DebugHeapReportTest, CleanRunEndsWithTheSingleNoLeakLine)
{
  std::string output = runProbe(probePath(), "clean");
  size_t stop = output.find("Debug heap shutting down.");
  ASSERT_NE(stop, std::string::npos) << output;
  EXPECT_NE(output.find("No memory leaks detected.", stop), std::string::npos) << output;
  EXPECT_EQ(output.find("Leaked "), std::string::npos) << output;
}

TEST(DebugHeapReportTest, LeaksAreReportedAtExitOldestFirstWithFileAndLine)
{
  std::string output = runProbe(probePath(), "leaks");
  std::string probe = "HeapProbeMain.cpp:";
  size_t first = output.find("Leaked 10 bytes from ");
  size_t second = output.find("Leaked 20 bytes from ");
  ASSERT_NE(first, std::string::npos) << output;
  ASSERT_NE(second, std::string::npos) << output;
  EXPECT_LT(first, second);
  EXPECT_NE(output.find(probe + std::to_string(announcedLine(output, "malloc")) + " ["), std::string::npos) << output;
  EXPECT_NE(output.find(probe + std::to_string(announcedLine(output, "new")) + " ["), std::string::npos) << output;
  EXPECT_EQ(output.find("No memory leaks detected."), std::string::npos);
}

TEST(DebugHeapReportTest, WithoutAMapFileNewBlocksAreUnknownFunctionLineZero)
{
  // Under another name it looks for another map, which is nowhere.
  TestFolder folder;
  std::wstring copy = folder.path(L"probe \u00e9.exe");
  ASSERT_TRUE(CopyFileW(probePath().c_str(), copy.c_str(), FALSE));
  std::string output = runProbe(copy, "leaks");
  EXPECT_NE(output.find("Leaked 20 bytes from Unknown function:0 ["), std::string::npos) << output;
  EXPECT_NE(output.find("HeapProbeMain.cpp:" + std::to_string(announcedLine(output, "malloc"))), std::string::npos);
}
