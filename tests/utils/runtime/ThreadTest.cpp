#include "Thread.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

class CountingThread : public Thread {
public:
  explicit CountingThread(unsigned busyMs = 0) : _busyMs(busyMs) {}
  ~CountingThread() override { join(); }
  void run() override
  {
    Thread::run();
    seen = currentId();
    sleep(_busyMs);
    ++runs;
  }
  std::atomic<int> runs{0};
  std::atomic<uint32_t> seen{0};

private:
  unsigned _busyMs;
};

// Takes the mutex on a thread of its own after a delay, then sets the event.
struct Taker : Thread {
  Taker(Mutex& mutex, unsigned delayMs, Event* done = nullptr) : _mutex(mutex), _delayMs(delayMs), _done(done) {}
  ~Taker() override { join(); }
  void run() override
  {
    sleep(_delayMs);
    MUTEX_LOCK(_mutex);
    took = true;
    MUTEX_UNLOCK(_mutex);
    if (_done)
      _done->set();
  }
  Mutex& _mutex;
  unsigned _delayMs;
  Event* _done;
  std::atomic<bool> took{false};
};

}

TEST(ThreadTest, JoinAndTheDestructorWaitForTheBodyASecondStartForTheFirst)
{
  auto* thread = new CountingThread(200);
  ASSERT_TRUE(thread->start());
  EXPECT_EQ(thread->runs, 0);
  DWORD start = GetTickCount();
  delete thread;
  EXPECT_GE(GetTickCount() - start, 100u);

  CountingThread twice(100), never;
  twice.start();
  uint32_t firstId = twice.getId();
  twice.start();
  EXPECT_EQ(twice.runs, 1);  // the first run was joined before restarting
  twice.join();
  EXPECT_EQ(twice.runs, 2);
  EXPECT_NE(firstId, 0u);
  EXPECT_EQ(twice.seen, twice.getId());
  EXPECT_NE(twice.seen, Thread::currentId());
  never.join();
  EXPECT_FALSE(never.isStarted());
}

TEST(MutexTest, ExcludesOtherThreadsIsReentrantAndReleasedOnAnException)
{
  Mutex mutex;
  long counter = 0;
  struct Adder : Thread {
    Adder(Mutex& m, long& c) : _m(m), _c(c) {}
    ~Adder() override { join(); }
    void run() override
    {
      for (int i = 0; i < 20000; ++i) {
        ScopedLock outer(&_m), inner(&_m);
        long value = _c;
        _c = value + 1;
      }
    }
    Mutex& _m;
    long& _c;
  };
  {
    Adder adders[] = {{mutex, counter}, {mutex, counter}, {mutex, counter}, {mutex, counter}};
    for (Adder& adder : adders)
      adder.start();
  }
  EXPECT_EQ(counter, 80000);

  try {
    ScopedLock lock(&mutex);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  Taker taker(mutex, 0);
  taker.start();
  taker.join();
  EXPECT_TRUE(taker.took);
}

TEST(EventTest, ASetIsKeptForOneWaitAndWaitingReleasesTheMutex)
{
  Mutex mutex;
  Event event;
  event.set();
  event.set();  // several sets count as one
  MUTEX_LOCK(mutex);
  EXPECT_TRUE(event.wait(mutex, __FILE__, __LINE__));
  EXPECT_FALSE(event.waitFor(mutex, 100));
  EXPECT_EQ(mutex.owner, Thread::currentId());  // retaken after the wait
  Taker signaller(mutex, 50, &event);  // can take the mutex only while we wait
  signaller.start();
  bool signalled = true;
  while (!signaller.took && signalled)
    signalled = event.waitFor(mutex, 5000);
  EXPECT_TRUE(signalled && signaller.took);
  MUTEX_UNLOCK(mutex);
}
