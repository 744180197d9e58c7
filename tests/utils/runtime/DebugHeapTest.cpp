#include "Debug.h"
#include "DebugHeap.h"
#include "PipedProgram.h"
#include "Portability.h"
#include "Sink.h"
#include "StringUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

// "size at file:line" of a block the heap holds, "" when it holds none there.
std::string blockInfo(const void* p)
{
  std::pair<const void*, std::string> found{p, ""};
  debugVisitBlocksAfter(
      nullptr,
      [](const void* pointer, unsigned size, const char* file, int line, void* context) {
        auto& found = *static_cast<std::pair<const void*, std::string>*>(context);
        if (pointer == found.first)
          found.second = std::to_string(size) + " at " + (file ? file : "") + ":" + std::to_string(line);
      },
      &found);
  return found.second;
}

std::string madeHere(unsigned size, int line)
{
  return std::to_string(size) + " at " __FILE__ ":" + std::to_string(line);
}

int blocksAfter(const void* mark)
{
  int count = 0;
  debugVisitBlocksAfter(mark, [](const void*, unsigned, const char*, int, void* n) { ++*static_cast<int*>(n); },
                        &count);
  return count;
}

}

TEST(DebugHeapTest, CFunctionsRecordSizeFileAndLine)
{
  void* p = DEBUG_MALLOC(10);
  const int line = __LINE__ - 1;
  unsigned char* zeroed = static_cast<unsigned char*>(DEBUG_CALLOC(25, 4));
  wchar_t* w = DEBUG_WCSDUP(L"vid\u00e9o \u4e2d.mp4");

  EXPECT_EQ(blockInfo(p), madeHere(10, line));
  EXPECT_EQ(blockInfo(zeroed), madeHere(100, line + 2));
  EXPECT_EQ(std::count(zeroed, zeroed + 100, 0), 100);
  EXPECT_STREQ(w, L"vid\u00e9o \u4e2d.mp4");
  EXPECT_EQ(blockInfo(w), madeHere(2 * wcslen(w) + 2, line + 3));
  for (void* block : std::vector<void*>{p, zeroed, w}) {
    DEBUG_FREE(block);
    EXPECT_EQ(blockInfo(block), "");
  }
  DEBUG_FREE(nullptr);

  // Sizes whose arithmetic would wrap round to a small block.
  EXPECT_EQ(DEBUG_MALLOC(SIZE_MAX - 8), nullptr);
  EXPECT_EQ(DEBUG_CALLOC(0x10000, 0x10001), nullptr);
}

// What a resize keeps is the threads test's.
TEST(DebugHeapTest, ReallocGrowsAndShrinksKeepingDataAndFirstPosition)
{
  char* p = static_cast<char*>(DEBUG_REALLOC(nullptr, 8));  // null: allocates
  const int line = __LINE__ - 1;
  p = static_cast<char*>(DEBUG_REALLOC(p, 100000));
  ASSERT_NE(p, nullptr);
  memset(p, 'z', 100000);
  EXPECT_EQ(blockInfo(p), madeHere(100000, line));
  EXPECT_EQ(DEBUG_REALLOC(p, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(blockInfo(p), madeHere(100000, line)) << "a refused size leaves the old block";
  EXPECT_EQ(DEBUG_REALLOC(p, 0), nullptr);  // frees, after checking the rewritten tail guard
  EXPECT_EQ(blockInfo(p), "");
}

// Blocks pass between threads through a shared box, so most are freed by
// another thread than the one that made them. Every byte of a block holds
// its size; whoever resizes or frees it checks that.
TEST(DebugHeapTest, ThreadsAllocatingAndFreeingAtOnceLoseAndSpoilNothing)
{
  const int SLOTS = 32;
  void* mark = DEBUG_MALLOC(1);
  std::atomic<int> spoiled{0};
  std::atomic<unsigned char*> box[SLOTS] = {};
  auto keeps = [](const unsigned char* p, unsigned char value, size_t size) {
    return std::count(p, p + size, value) == static_cast<std::ptrdiff_t>(size);
  };
  auto worker = [&](int id) {
    std::mt19937 random(id);
    for (int step = 0; step < 20000; ++step) {
      unsigned char size = static_cast<unsigned char>(1 + random() % 255);
      void* block = random() % 2 ? DEBUG_MALLOC(size) : DEBUG_CALLOC(size, 1);
      unsigned char* p = static_cast<unsigned char*>(memset(block, size, size));
      if (random() % 4 == 0) {
        unsigned char resized = static_cast<unsigned char>(1 + random() % 255);
        p = static_cast<unsigned char*>(DEBUG_REALLOC(p, resized));
        spoiled += !keeps(p, size, std::min(size, resized));
        memset(p, resized, resized);
      }
      unsigned char* old = box[random() % SLOTS].exchange(p);
      if (old) {
        spoiled += !keeps(old, old[0], old[0]);
        DEBUG_FREE(old);
      }
    }
  };
  {
    std::vector<std::thread> threads;
    for (int id = 0; id < 8; ++id)
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

// Each case is a child process: a double free stands for every bad pointer
// (one check of the front guard), a byte past the end for the tail guard.
// The block freed twice is freed right after another one, and the C heap
// then leaves its header as it was (seen under Wine): only the mark that a
// free leaves can give the second free away.
TEST(DebugHeapDeathTest, BadFreesAndSpoiltGuardsAreFatal)
{
  const std::pair<void (*)(), const char*> cases[] = {
      {[] {
         void* neighbour = DEBUG_MALLOC(4);
         void* p = DEBUG_MALLOC(4);
         DEBUG_FREE(neighbour);
         DEBUG_FREE(p);
         DEBUG_FREE(p);
       },
       "Invalid free of \\[\\w+\\] in .*DebugHeapTest\\.cpp:\\d+"},
      {[] { char* p = static_cast<char*>(DEBUG_MALLOC(10)); p[10] = '!'; DEBUG_FREE(p); },
       "DebugHeapTest\\.cpp:\\d+: free\\(\\w+\\): Sentry corrupted\\."},
  };
  static const int HEAP_CATEGORIES[] = {98, 99, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    EXPECT_DEATH(
        {
          setDebugCategories(HEAP_CATEGORIES);
          setDebugOutput([](const char* line) { fputs(line, stderr); });
          c.first();
        },
        c.second);
  }
}

namespace {

// The probe's standard output and error together.
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

// "HeapProbeMain.cpp:LINE [", LINE where the probe said it allocates.
std::string probeLine(const std::string& output, const std::string& what)
{
  size_t at = output.find(what + " at line ");
  return at == std::string::npos ? "(not announced)"
                                 : "HeapProbeMain.cpp:" + std::to_string(atoi(output.c_str() + at + what.size() + 9)) + " [";
}

}

TEST(DebugHeapReportTest, LeaksAreReportedAtExitOldestFirstWithFileAndLine)
{
  std::wstring probe = joinPath(getDirectory(getModulePath()), L"heap_probe.exe");
  std::string output = runProbe(probe, "clean");
  ASSERT_NE(output.find("Debug heap shutting down."), std::string::npos) << output;
  EXPECT_EQ(output.find("Leaked "), std::string::npos) << output;

  output = runProbe(probe, "leaks");
  size_t first = output.find("Leaked 10 bytes from ");
  size_t second = output.find("Leaked 20 bytes from ");
  ASSERT_NE(second, std::string::npos) << output;
  EXPECT_LT(first, second);
  EXPECT_NE(output.find(probeLine(output, "malloc")), std::string::npos) << output;
  EXPECT_NE(output.find(probeLine(output, "new")), std::string::npos) << output;

}
