#include "Debug.h"
#include "DebugHeap.h"

#include <gtest/gtest.h>

#include <windows.h>

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

TEST(DebugHeapTest, MallocRecordsSizeFileAndLine)
{
  void* p = DEBUG_MALLOC(10);
  const int line = __LINE__ - 1;
  BlockInfo info = blockInfo(p);
  EXPECT_TRUE(info.live);
  EXPECT_EQ(info.size, 10u);
  EXPECT_STREQ(info.file, __FILE__);
  EXPECT_EQ(info.line, line);
  DEBUG_FREE(p);
  EXPECT_FALSE(blockInfo(p).live);
  DEBUG_FREE(nullptr);
}

TEST(DebugHeapTest, ReallocGrowsAndShrinksKeepingDataAndFirstPosition)
{
  char* p = static_cast<char*>(DEBUG_MALLOC(8));
  const int line = __LINE__ - 1;
  memcpy(p, "abcdefg", 8);

  p = static_cast<char*>(DEBUG_REALLOC(p, 100000));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abcdefg");
  memset(p + 8, 'z', 100000 - 8);
  BlockInfo grown = blockInfo(p);
  EXPECT_EQ(grown.size, 100000u);
  EXPECT_EQ(grown.line, line);

  p = static_cast<char*>(DEBUG_REALLOC(p, 4));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "abcd", 4), 0);
  BlockInfo shrunk = blockInfo(p);
  EXPECT_EQ(shrunk.size, 4u);
  EXPECT_STREQ(shrunk.file, __FILE__);
  EXPECT_EQ(shrunk.line, line);
  DEBUG_FREE(p);  // the tail guard was rewritten after the new size
}

TEST(DebugHeapTest, ReallocOfNullAllocatesAndToZeroFrees)
{
  void* p = DEBUG_REALLOC(nullptr, 16);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(blockInfo(p).size, 16u);
  EXPECT_EQ(DEBUG_REALLOC(p, 0), nullptr);
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

TEST(DebugHeapTest, CallocZeroFills)
{
  unsigned char* p = static_cast<unsigned char*>(DEBUG_CALLOC(25, 4));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(p[i], 0) << i;
  EXPECT_EQ(blockInfo(p).size, 100u);
  DEBUG_FREE(p);
}

TEST(DebugHeapTest, StrdupAndWideStrdupCopyIntoTrackedBlocks)
{
  char* s = DEBUG_STRDUP("vid\xc3\xa9o 1.mp4");
  EXPECT_STREQ(s, "vid\xc3\xa9o 1.mp4");
  EXPECT_EQ(blockInfo(s).size, strlen(s) + 1);

  wchar_t* w = DEBUG_WCSDUP(L"vid\u00e9o \u4e2d.mp4");
  EXPECT_STREQ(w, L"vid\u00e9o \u4e2d.mp4");
  BlockInfo info = blockInfo(w);
  EXPECT_EQ(info.size, 2 * wcslen(w) + 2);
  EXPECT_STREQ(info.file, __FILE__);

  char* empty = DEBUG_STRDUP("");
  EXPECT_STREQ(empty, "");
  EXPECT_EQ(blockInfo(empty).size, 1u);
  DEBUG_FREE(empty);
  DEBUG_FREE(w);
  DEBUG_FREE(s);
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

TEST(DebugHeapTest, WalkStackStopsAtTheLimitAndAtTheStacksEnd)
{
  unsigned stack[64];
  EXPECT_EQ(walkStack(stack, 2), 2);
  int count = walkStack(stack, 64);
  EXPECT_GT(count, 3);
  EXPECT_LT(count, 64);
  for (int i = 0; i < count; ++i)
    EXPECT_NE(stack[i], 0u);
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

  // Blocks are handed between threads through this box, so that many are
  // freed by another thread than the one that made them.
  std::atomic<unsigned char*> box[SLOTS] = {};

  auto worker = [&](int id) {
    std::mt19937 random(id);
    struct Held {
      unsigned char* p;
      size_t size;
      bool fromNew;
    } held[SLOTS] = {};
    auto fill = [](Held& h, unsigned char seed) {
      for (size_t i = 0; i < h.size; ++i)
        h.p[i] = static_cast<unsigned char>(seed + i);
    };
    auto check = [&](const unsigned char* p, size_t size) {
      for (size_t i = 1; i < size; ++i) {
        if (p[i] != static_cast<unsigned char>(p[0] + i)) {
          ++spoiled;
          return;
        }
      }
    };
    auto release = [](Held& h) {
      if (h.fromNew)
        delete[] h.p;
      else
        DEBUG_FREE(h.p);
      h = {};
    };
    for (int step = 0; step < STEPS; ++step) {
      Held& h = held[random() % SLOTS];
      size_t size = 1 + random() % 300;
      if (!h.p) {
        int how = random() % 3;
        h.p = how == 0   ? new unsigned char[size]
              : how == 1 ? static_cast<unsigned char*>(DEBUG_MALLOC(size))
                         : static_cast<unsigned char*>(DEBUG_CALLOC(size, 1));
        h.size = size;
        h.fromNew = how == 0;
        fill(h, static_cast<unsigned char>(random()));
        continue;
      }
      check(h.p, h.size);
      int what = h.fromNew ? 2 : random() % 3;
      if (what == 0) {
        h.p = static_cast<unsigned char*>(DEBUG_REALLOC(h.p, size));
        check(h.p, size < h.size ? size : h.size);
        h.size = size;
        fill(h, static_cast<unsigned char>(random()));
      } else if (what == 1) {
        // Into the box; the block found there, made by any thread, is freed here.
        DEBUG_FREE(box[random() % SLOTS].exchange(h.p));
        h = {};
      } else {
        release(h);
      }
    }
    for (Held& h : held)
      release(h);
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

TEST(DebugHeapDeathTest, SecondFreeOfABlockIsAnInvalidFree)
{
  EXPECT_DEATH(
      {
        showHeapMessages();
        void* p = DEBUG_MALLOC(4);
        DEBUG_FREE(p);
        DEBUG_FREE(p);
      },
      "Invalid free of \\[\\w+\\] in .*DebugHeapTest\\.cpp:\\d+");
}

TEST(DebugHeapDeathTest, FreeOfAForeignPointerIsAnInvalidFree)
{
  EXPECT_DEATH(
      {
        showHeapMessages();
        alignas(8) unsigned char buffer[64] = {};
        DEBUG_FREE(buffer + 32);
      },
      "Invalid free of \\[\\w+\\] in .*DebugHeapTest\\.cpp:\\d+");
  EXPECT_DEATH(
      {
        showHeapMessages();
        alignas(8) unsigned char buffer[64] = {};
        void* volatile foreign = buffer + 32;  // hidden from the compiler's own check
        operator delete(foreign);
      },
      "Invalid free of");
}

TEST(DebugHeapDeathTest, OverwrittenGuardInFrontOfTheDataIsReported)
{
  EXPECT_DEATH(
      {
        showHeapMessages();
        char* p = static_cast<char*>(DEBUG_MALLOC(16));
        reinterpret_cast<DebugBlockHeader*>(p)[-1].magic = 0x12345600;
        DEBUG_FREE(p);
      },
      "Invalid free of");
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

TEST(DebugHeapDeathTest, ReallocOfAForeignPointerIsReported)
{
  EXPECT_DEATH(
      {
        showHeapMessages();
        alignas(8) unsigned char buffer[64] = {};
        DEBUG_REALLOC(buffer + 32, 8);
      },
      "realloc\\( \\[\\w+\\], 8 \\): ptr is bad\\.");
}

namespace {

// Runs heap_probe.exe (built beside this program) and returns its output.
std::string runProbe(const wchar_t* scenario, const wchar_t* folder)
{
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  *(wcsrchr(path, L'\\') + 1) = L'\0';
  std::wstring program = std::wstring(path) + L"heap_probe.exe";
  std::wstring commandLine = L"\"" + program + L"\" " + scenario;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    return "no pipe";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder,
                                &startup, &process);
  CloseHandle(writeEnd);
  std::string output;
  if (started) {
    char buffer[4096];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
      output.append(buffer, got);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  return output;
}

int announcedLine(const std::string& output, const std::string& what)
{
  size_t at = output.find(what + " at line ");
  return at == std::string::npos ? -1 : atoi(output.c_str() + at + what.size() + 9);
}

}

TEST(DebugHeapReportTest, CleanRunEndsWithTheSingleNoLeakLine)
{
  std::string output = runProbe(L"clean", nullptr);
  size_t stop = output.find("Debug heap shutting down.");
  ASSERT_NE(stop, std::string::npos) << output;
  EXPECT_NE(output.find("No memory leaks detected.", stop), std::string::npos) << output;
  EXPECT_EQ(output.find("Leaked "), std::string::npos) << output;
}

TEST(DebugHeapReportTest, LeaksAreReportedAtExitOldestFirstWithFileAndLine)
{
  std::string output = runProbe(L"leaks", nullptr);
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
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  std::string output = runProbe(L"leaks", folder);
  EXPECT_NE(output.find("Leaked 20 bytes from Unknown function:0 ["), std::string::npos) << output;
  EXPECT_NE(output.find("HeapProbeMain.cpp:" + std::to_string(announcedLine(output, "malloc"))), std::string::npos);
}
