#include "Debug.h"
#include "DebugHeap.h"
#include "PipedProgram.h"
#include "Sink.h"
#include "StringUtil.h"
#include "TestFolder.h"

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
  EXPECT_EQ(DEBUG_MALLOC(SIZE_MAX), nullptr);
  EXPECT_EQ(DEBUG_MALLOC(SIZE_MAX - 8), nullptr);
  EXPECT_EQ(DEBUG_CALLOC(0x10000, 0x10001), nullptr);
  EXPECT_EQ(DEBUG_CALLOC(SIZE_MAX / 2 + 1, 2), nullptr);
}

TEST(DebugHeapTest, ReallocGrowsAndShrinksKeepingDataAndFirstPosition)
{
  char* p = static_cast<char*>(DEBUG_REALLOC(nullptr, 8));  // null: allocates
  const int line = __LINE__ - 1;
  memcpy(p, "abcdefg", 8);
  p = static_cast<char*>(DEBUG_REALLOC(p, 100000));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abcdefg");
  memset(p + 8, 'z', 100000 - 8);
  EXPECT_EQ(blockInfo(p), madeHere(100000, line));

  p = static_cast<char*>(DEBUG_REALLOC(p, 4));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "abcd", 4), 0);
  EXPECT_EQ(blockInfo(p), madeHere(4, line));

  EXPECT_EQ(DEBUG_REALLOC(p, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(blockInfo(p), madeHere(4, line)) << "a refused size leaves the old block";
  EXPECT_EQ(DEBUG_REALLOC(p, 0), nullptr);  // frees, after checking the rewritten tail guard
  EXPECT_EQ(blockInfo(p), "");
}

// Blocks pass between threads through a shared box, so many are freed by
// another thread than the one that made them. Each block counts upwards from
// its first byte; whoever grows or frees it checks that.
TEST(DebugHeapTest, ThreadsAllocatingAndFreeingAtOnceLoseAndSpoilNothing)
{
  const int SLOTS = 32;
  void* mark = DEBUG_MALLOC(1);
  std::atomic<int> spoiled{0};
  std::atomic<unsigned char*> box[SLOTS] = {};
  auto worker = [&](int id) {
    std::mt19937 random(id);
    struct Held {
      unsigned char* p;
      size_t size;
      bool isNew;
    } held[SLOTS] = {};
    auto fill = [&](Held& h) {
      unsigned char seed = static_cast<unsigned char>(random());
      for (size_t i = 0; i < h.size; ++i)
        h.p[i] = static_cast<unsigned char>(seed + i);
    };
    auto check = [&](const Held& h, size_t size) {
      for (size_t i = 1; i < size; ++i)
        spoiled += h.p[i] != static_cast<unsigned char>(h.p[0] + i);
    };
    auto release = [](Held& h) {
      h.isNew ? delete[] h.p : DEBUG_FREE(h.p);
      h = {};
    };
    for (int step = 0; step < 20000; ++step) {
      Held& h = held[random() % SLOTS];
      size_t size = 1 + random() % 300;
      int how = random() % 3;
      if (!h.p) {
        void* block = how == 0 ? new unsigned char[size] : how == 1 ? DEBUG_MALLOC(size) : DEBUG_CALLOC(size, 1);
        h = {static_cast<unsigned char*>(block), size, how == 0};
        fill(h);
        continue;
      }
      check(h, h.size);
      if (h.isNew || how == 2) {
        release(h);
      } else if (how == 0) {
        h.p = static_cast<unsigned char*>(DEBUG_REALLOC(h.p, size));
        check(h, std::min(size, h.size));
        h.size = size;
        fill(h);
      } else {
        DEBUG_FREE(box[random() % SLOTS].exchange(h.p));
        h = {};
      }
    }
    for (Held& h : held)
      release(h);
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

TEST(DebugHeapDeathTest, BadFreesAndSpoiltGuardsAreFatal)
{
  // Volatile pointers hide the misuse from the compiler's own checks and
  // keep it from dropping a store into a block about to be freed.
  typedef unsigned char Buffer[64];
  const char* invalid = "Invalid free of \\[\\w+\\] in .*DebugHeapTest\\.cpp:\\d+";
  const std::pair<void (*)(), const char*> cases[] = {
      {[] { void* p = DEBUG_MALLOC(4); DEBUG_FREE(p); DEBUG_FREE(p); }, invalid},
      {[] { alignas(8) Buffer buffer = {}; void* volatile foreign = buffer + 32; operator delete(foreign); },
       "Invalid free of"},
      {[] { alignas(8) Buffer buffer = {}; DEBUG_REALLOC(buffer + 32, 8); }, "realloc\\( \\[\\w+\\], 8 \\): ptr is bad"},
      {[] {
         char* p = static_cast<char*>(DEBUG_MALLOC(16));
         reinterpret_cast<DebugBlockHeader*>(p)[-1].magic = 0x12345600;  // the guard in front
         DEBUG_FREE(p);
       },
       invalid},
      {[] { char* p = static_cast<char*>(DEBUG_MALLOC(10)); p[10] = '!'; DEBUG_FREE(p); },
       "DebugHeapTest\\.cpp:\\d+: free\\(\\w+\\): Sentry corrupted\\."},
      {[] { volatile int* volatile p = new int[3]; p[3] = 0; delete[] p; }, "Sentry corrupted\\."},
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
  size_t stop = output.find("Debug heap shutting down.");
  ASSERT_NE(stop, std::string::npos) << output;
  EXPECT_NE(output.find("No memory leaks detected.", stop), std::string::npos) << output;
  EXPECT_EQ(output.find("Leaked "), std::string::npos) << output;

  output = runProbe(probe, "leaks");
  size_t first = output.find("Leaked 10 bytes from ");
  size_t second = output.find("Leaked 20 bytes from ");
  ASSERT_NE(second, std::string::npos) << output;
  EXPECT_LT(first, second);
  EXPECT_NE(output.find(probeLine(output, "malloc")), std::string::npos) << output;
  EXPECT_NE(output.find(probeLine(output, "new")), std::string::npos) << output;
  EXPECT_EQ(output.find("No memory leaks detected."), std::string::npos);

  // Under another name it looks for another map, which is nowhere.
  TestFolder folder;
  std::wstring copy = folder.path(L"probe \u00e9.exe");
  ASSERT_TRUE(CopyFileW(probe.c_str(), copy.c_str(), FALSE));
  output = runProbe(copy, "leaks");
  EXPECT_NE(output.find("Leaked 20 bytes from Unknown function:0 ["), std::string::npos) << output;
  EXPECT_NE(output.find(probeLine(output, "malloc")), std::string::npos) << output;
}
