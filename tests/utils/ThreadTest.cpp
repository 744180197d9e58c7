#include "Debug.h"
#include "Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class CountingThread : public Thread {
public:
  explicit CountingThread(unsigned busyMs = 0, std::atomic<int>* finished = nullptr)
      : _busyMs(busyMs), _finished(finished) {}
  ~CountingThread() override { join(); }

  void run() override
  {
    Thread::run();
    sleep(_busyMs);
    ++runs;
    if (_finished)
      ++*_finished;
  }

  std::atomic<int> runs{0};

private:
  unsigned _busyMs;
  std::atomic<int>* _finished;
};

}

TEST(ThreadTest, DestructorWaitsForTheBody)
{
  std::atomic<int> finished{0};
  auto* thread = new CountingThread(200, &finished);
  ASSERT_TRUE(thread->start());
  EXPECT_EQ(finished, 0);
  delete thread;
  EXPECT_EQ(finished, 1);
}

TEST(ThreadTest, SecondStartRunsTheBodyAgainAfterTheFirst)
{
  CountingThread thread(100);
  thread.start();
  DWORD firstId = thread.getId();
  thread.start();
  EXPECT_EQ(thread.runs, 1);  // the first run was joined before restarting
  thread.join();
  EXPECT_EQ(thread.runs, 2);
  EXPECT_NE(firstId, 0u);
}

TEST(ThreadTest, JoinOnANeverStartedThreadReturnsAtOnce)
{
  CountingThread thread;
  thread.join();
  EXPECT_FALSE(thread.isStarted());
  EXPECT_EQ(thread.runs, 0);
}

TEST(ThreadTest, IdsAreThoseOfTheRunningThreads)
{
  struct IdThread : Thread {
    ~IdThread() override { join(); }
    void run() override { seen = currentId(); }
    std::atomic<uint32_t> seen{0};
  } thread;
  thread.start();
  thread.join();
  EXPECT_EQ(thread.seen, thread.getId());
  EXPECT_NE(thread.seen, Thread::currentId());
}

namespace {

std::vector<std::string> traces;
void traceOutput(const char* line) { traces.emplace_back(line); }

}

TEST(MutexTest, LockRecordsOwnerAndTracesCallerPosition)
{
  static const int list[] = {0x1001, 0};
  static const int defaults[] = {99, 0};
  traces.clear();
  setDebugOutput(traceOutput);
  setDebugCategories(list);
  Mutex mutex;
  mutex.lock("caller.cpp", 42);
  EXPECT_EQ(mutex.owner, Thread::currentId());
  mutex.unlock("caller.cpp", 43);
  EXPECT_EQ(mutex.owner, 0u);
  setDebugCategories(defaults);
  setDebugOutput(nullptr);

  ASSERT_EQ(traces.size(), 2u);
  EXPECT_EQ(traces[0].rfind("caller.cpp:42: Thread " + std::to_string(Thread::currentId()) + " locked mutex ", 0), 0u);
  EXPECT_EQ(traces[1].rfind("caller.cpp:43: Thread ", 0), 0u);
  EXPECT_NE(traces[1].find(" unlocking mutex "), std::string::npos);
}

TEST(MutexTest, ExcludesOtherThreadsAndIsReentrant)
{
  Mutex mutex;
  long counter = 0;
  std::vector<std::unique_ptr<Thread>> threads;
  struct Adder : Thread {
    Adder(Mutex& m, long& c) : _m(m), _c(c) {}
    ~Adder() override { join(); }
    void run() override
    {
      for (int i = 0; i < 20000; ++i) {
        ScopedLock outer(&_m);
        ScopedLock inner(&_m);
        long value = _c;
        _c = value + 1;
      }
    }
    Mutex& _m;
    long& _c;
  };
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back(new Adder(mutex, counter));
    threads.back()->start();
  }
  threads.clear();
  EXPECT_EQ(counter, 80000);
}

TEST(ScopedLockTest, ReleasesWhenTheBlockEndsByAnException)
{
  Mutex mutex;
  try {
    ScopedLock lock(&mutex);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  struct Taker : Thread {
    explicit Taker(Mutex& m) : _m(m) {}
    ~Taker() override { join(); }
    void run() override
    {
      MUTEX_LOCK(_m);
      took = true;
      MUTEX_UNLOCK(_m);
    }
    Mutex& _m;
    std::atomic<bool> took{false};
  } taker(mutex);
  taker.start();
  taker.join();
  EXPECT_TRUE(taker.took);
}

TEST(EventTest, SetBeforeWaitIsKeptForOneWait)
{
  Mutex mutex;
  Event event;
  event.set();
  event.set();  // several sets count as one
  MUTEX_LOCK(mutex);
  EXPECT_TRUE(event.wait(mutex, __FILE__, __LINE__));
  EXPECT_FALSE(event.waitFor(mutex, 100));
  EXPECT_EQ(mutex.owner, Thread::currentId());  // retaken after the wait
  MUTEX_UNLOCK(mutex);
}

TEST(EventTest, WaitReleasesTheMutexForTheSignaller)
{
  Mutex mutex;
  Event event;
  struct Signaller : Thread {
    Signaller(Mutex& m, Event& e) : _m(m), _e(e) {}
    ~Signaller() override { join(); }
    void run() override
    {
      sleep(50);
      MUTEX_LOCK(_m);  // only possible while the waiter is in wait()
      bound = true;
      _e.set();
      MUTEX_UNLOCK(_m);
    }
    Mutex& _m;
    Event& _e;
    bool bound = false;
  } signaller(mutex, event);

  MUTEX_LOCK(mutex);
  signaller.start();
  bool signalled = true;
  while (!signaller.bound && signalled)
    signalled = event.waitFor(mutex, 5000);
  EXPECT_TRUE(signalled);
  EXPECT_TRUE(signaller.bound);
  MUTEX_UNLOCK(mutex);
}
