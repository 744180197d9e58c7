#include "PipedProgram.h"

#include "Debug.h"
#include "Sink.h"
#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

struct RecordingSink : Sink {
  void write(char* data, int length) override
  {
    sizes.push_back(length);
    bytes.append(data, length);
  }

  std::vector<int> sizes;
  std::string bytes;
};

bool isPattern(const std::string& bytes)
{
  for (size_t k = 0; k < bytes.size(); ++k) {
    if (static_cast<unsigned char>(bytes[k]) != standInPatternByte(k))
      return false;
  }
  return true;
}

void readToEnd(PipedProgram& program, Sink* out, Sink* err, unsigned timeoutMs = 10000)
{
  while (program.read(out, err, timeoutMs)) {
  }
}

// GetProcessHandleCount is a stub under Wine; the system's handle table is not.
unsigned countOwnHandles()
{
  struct Entry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  const ULONG SYSTEM_HANDLE_INFORMATION = 16;
  typedef NTSTATUS(NTAPI * Query)(ULONG, PVOID, ULONG, PULONG);
  Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<char> buffer(1 << 20);
  ULONG length = 0;
  while (query(SYSTEM_HANDLE_INFORMATION, buffer.data(), buffer.size(), &length) != 0)
    buffer.resize(buffer.size() * 2);
  const Table* table = reinterpret_cast<const Table*>(buffer.data());
  unsigned count = 0;
  for (ULONG i = 0; i < table->count; ++i)
    count += table->entries[i].process == GetCurrentProcessId();
  return count;
}

const int DEBUG_PIPES = 100;

// Records the reader's debug lines, from any thread; they tell a time-out
// from an end. A hang in the reads or in ending the child fails within a
// minute.
class PipedProgramTest : public testing::Test {
protected:
  Deadline deadline{60000};
  bool timedOut() { return debug.count("Timed out reading from pipe.\n") > 0; }
  void readUntil(size_t outBytes)
  {
    while (out.bytes.size() < outBytes && program.read(&out, &err, 10000)) {
    }
  }

  DebugRecorder debug{DEBUG_PIPES};
  PipedProgram program;
  RecordingSink out;
  RecordingSink err;
};

}

// Every script lies under a non-ASCII name, so each test passes UTF-8
// arguments through the command line.
TEST_F(PipedProgramTest, TenThousandBytesArriveInBoundedReadsThenAnEmptyOne)
{
  // The pause keeps a read outstanding when the pipe breaks.
  StandInScript script("out-pattern 10000\nsleep 300\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  readToEnd(program, &out, nullptr);

  EXPECT_FALSE(timedOut());
  EXPECT_EQ(out.bytes.size(), 10000u);
  EXPECT_TRUE(isPattern(out.bytes));
  ASSERT_GE(out.sizes.size(), 4u);
  EXPECT_EQ(out.sizes.back(), 0);
  for (size_t i = 0; i + 1 < out.sizes.size(); ++i) {
    EXPECT_GT(out.sizes[i], 0);
    EXPECT_LE(out.sizes[i], 4096);
  }
  EXPECT_FALSE(program.read(&out, nullptr, 10000));
}

TEST_F(PipedProgramTest, NullSinkDropsItsPipeButKeepsItFlowing)
{
  // 30 000 bytes would fill the output pipe and block the child if they
  // were not read.
  StandInScript script("interleave 30 1000\nexit 3\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  readToEnd(program, nullptr, &err);
  EXPECT_FALSE(timedOut());
  std::string frames;
  for (int i = 1; i <= 30; ++i)
    frames += "frame=" + std::to_string(i) + "\n";
  EXPECT_EQ(err.bytes, frames);
}

TEST_F(PipedProgramTest, FlushHandsOverAReadThatCompletedUnseenOnceAndAStallTimesOutWithoutLoss)
{
  StandInScript script("out-pattern 100\nsleep 300\nerr late\nsleep 2000\nout-pattern 5000\nstall\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  ASSERT_TRUE(program.read(&out, &err, 10000));
  ASSERT_EQ(out.bytes.size(), 100u);
  ASSERT_EQ(err.bytes, "");

  Sleep(1000);  // not alertable: the error pipe's read completes unseen
  auto flushed = std::chrono::steady_clock::now();
  program.flush();
  ASSERT_LT(millisecondsSince(flushed), 5000);
  EXPECT_EQ(err.bytes, "late\n");

  // Handed over once; the stalled child's read times out.
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(program.read(&out, &err, 300));
  EXPECT_GE(millisecondsSince(start), 250);
  EXPECT_TRUE(timedOut());
  EXPECT_EQ(err.bytes, "late\n");

  // The reads left outstanding by the time-out are waited for again.
  readUntil(5100);
  EXPECT_EQ(out.bytes.size(), 5100u);
  EXPECT_TRUE(isPattern(out.bytes));
}

// A console host made for the child would be the child's own child, and
// one whose child was ended while starting up would outlive it for ever.
TEST_F(PipedProgramTest, ChildRunsWithoutAConsoleHostAndCloseEndsIt)
{
  StandInScript script("out ready\nstall\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  DWORD child = program.getProcessId();
  readUntil(1);
  ASSERT_EQ(out.bytes, "ready\n");
  EXPECT_EQ(countChildrenOf(child), 0u);
  EXPECT_FALSE(program.read(&out, &err, 100));
  size_t writes = out.sizes.size() + err.sizes.size();
  program.close();

  EXPECT_EQ(countOwnChildren(), 0u);
  EXPECT_EQ(program.getProcessId(), 0u);
  SleepEx(200, TRUE);  // no completion may reach the sinks any more
  EXPECT_EQ(out.sizes.size() + err.sizes.size(), writes);
  EXPECT_FALSE(program.read(&out, &err, 100));
}

TEST_F(PipedProgramTest, HundredStartCloseCyclesLeaveNoHandleOrProcess)
{
  StandInScript script("out-pattern 10000\nstall\n");
  // The first child loads what the process keeps for later ones.
  ASSERT_TRUE(program.start(script.streamArgs()));
  program.close();
  unsigned handles = countOwnHandles();

  for (int cycle = 0; cycle < 100; ++cycle) {
    ASSERT_TRUE(program.start(script.streamArgs()));
    if (cycle % 2)
      program.read(&out, &err, 1000);  // leaves reads outstanding for close
    program.close();
  }
  EXPECT_EQ(countOwnHandles(), handles);
  EXPECT_EQ(countOwnChildren(), 0u);
}

// Each child reads its own output through pipes of its own (a name made
// twice would fail to start), and none inherits the pipe ends of a
// child that another thread starts at that moment: a long-lived one would
// keep a short-lived one's pipes open after it ended, and reading it would
// then end in a time-out instead of at the end of its pipes.
TEST_F(PipedProgramTest, ChildrenStartedAtOnceKeepToTheirOwnPipes)
{
  StandInScript stalling("stall\n");
  StandInScript quick("out done\n");
  std::atomic<bool> finished{false};
  std::atomic<int> failures{0};

  std::thread holder([&] {
    std::vector<PipedProgram*> held;
    while (!finished && held.size() < 30) {
      held.push_back(new PipedProgram);
      held.back()->start(stalling.streamArgs());
    }
    while (!finished)
      Sleep(10);
    for (PipedProgram* program : held)
      delete program;
  });
  std::vector<std::thread> starters;
  for (int t = 0; t < 3; ++t) {
    starters.emplace_back([&] {
      for (int i = 0; i < 8; ++i) {
        PipedProgram program;
        RecordingSink out;
        failures += !program.start(quick.streamArgs());
        readToEnd(program, &out, nullptr);
        failures += out.bytes != "done\n";
      }
    });
  }
  for (std::thread& thread : starters)
    thread.join();
  finished = true;
  holder.join();
  EXPECT_EQ(failures, 0);
  EXPECT_FALSE(timedOut());
}
