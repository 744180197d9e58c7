#include "PipedProgram.h"

#include "Sink.h"
#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

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

// GetProcessHandleCount is a stub under Wine; the system's handle table is not.
unsigned countHandles(DWORD process)
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
    count += table->entries[i].process == process;
  return count;
}

class PipedProgramTest : public testing::Test {
protected:
  void readUntil(size_t outBytes)
  {
    while (out.bytes.size() < outBytes && program.read(&out, &err, 10000)) {
    }
  }

  PipedProgram program;
  RecordingSink out;
  RecordingSink err;
};

}

// Every script lies under a non-ASCII name, so each test passes UTF-8
// arguments through the command line.
TEST_F(PipedProgramTest, FlushHandsOverAReadThatCompletedUnseenOnceAndAStallTimesOutWithoutLoss)
{
  // The child's tracked heap names its map file on standard error as it
  // starts: the script waits, so that this line is read on its own.
  StandInScript script(
      "sleep 300\nout-pattern 100\nsleep 300\nerr late\ntouch written\nsleep 2000\nout-pattern 5000\nstall\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  readUntil(100);
  ASSERT_EQ(out.bytes.size(), 100u);
  const std::string started = err.bytes;
  ASSERT_EQ(started.find("late"), std::string::npos);

  // Not alertable: the error pipe's read completes unseen.
  while (GetFileAttributesW(script.folder().path(L"written").c_str()) == INVALID_FILE_ATTRIBUTES)
    Sleep(10);
  auto flushed = std::chrono::steady_clock::now();
  program.flush();
  ASSERT_LT(millisecondsSince(flushed), 5000);
  EXPECT_EQ(err.bytes, started + "late\n");

  // Handed over once; the stalled child's read times out.
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(program.read(&out, &err, 300));
  EXPECT_GE(millisecondsSince(start), 250);
  EXPECT_EQ(err.bytes, started + "late\n");

  // The reads left outstanding by the time-out are waited for again.
  readUntil(5100);
  EXPECT_EQ(out.bytes.size(), 5100u);
}

// A console host made for the child would be the child's own child, and
// one whose child was ended while starting up would outlive it for ever.
// The idle expiry ends a context on a thread of its own, whatever its last
// reads were left in: here both still pending after a time-out.
TEST_F(PipedProgramTest, ChildRunsWithoutAConsoleHostAndCloseOnAnyThreadEndsIt)
{
  StandInScript script("out ready\nstall\n");
  ASSERT_TRUE(program.start(script.streamArgs()));
  DWORD child = program.getProcessId();
  readUntil(1);
  ASSERT_EQ(out.bytes, "ready\n");
  EXPECT_EQ(countChildrenOf(child), 0u);
  EXPECT_FALSE(program.read(&out, &err, 100));
  size_t writes = out.sizes.size() + err.sizes.size();
  std::thread([this] { program.close(); }).join();

  EXPECT_EQ(countOwnChildren(), 0u);
  EXPECT_EQ(program.getProcessId(), 0u);
  SleepEx(200, TRUE);  // no completion may reach the sinks any more
  EXPECT_EQ(out.sizes.size() + err.sizes.size(), writes);
  EXPECT_FALSE(program.read(&out, &err, 100));
}

// Every segment starts a transcoder: a handle lost on each would run the
// server out of them.
TEST_F(PipedProgramTest, StartCloseCyclesLeaveNoHandle)
{
  StandInScript script("out-pattern 10000\nstall\n");
  // The first child loads what the process keeps for later ones.
  ASSERT_TRUE(program.start(script.streamArgs()));
  program.close();
  unsigned handles = countHandles(GetCurrentProcessId());
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_TRUE(program.start(script.streamArgs()));
    if (cycle % 2)
      program.read(&out, &err, 1000);  // leaves reads outstanding for close
    program.close();
  }
  EXPECT_EQ(countHandles(GetCurrentProcessId()), handles);
}

// Each child gets pipes of its own (a name made twice fails to start), and
// none inherits those of a child started at that moment on another thread:
// a long-lived one would keep a short-lived one's pipes from ending.
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
        while (program.read(&out, nullptr, 10000)) {
        }
        failures += out.bytes != "done\n" || !program.outputEnded();
      }
    });
  }
  for (std::thread& thread : starters)
    thread.join();
  finished = true;
  holder.join();
  EXPECT_EQ(failures, 0);
}

// The server holds inheritable handles (sockets, other children's pipes):
// a child must get none of them, only its own pipe ends.
TEST_F(PipedProgramTest, ChildInheritsNothingButItsPipes)
{
  StandInScript script("out ready\nstall\n");
  auto childHandles = [&] {
    program.start(script.streamArgs());
    readUntil(out.bytes.size() + 6);
    return countHandles(program.getProcessId());
  };
  unsigned alone = childHandles();
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  std::vector<HANDLE> held(20);
  for (HANDLE& handle : held)
    handle = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  EXPECT_LT(childHandles(), alone + 10);
  for (HANDLE handle : held)
    CloseHandle(handle);
}
