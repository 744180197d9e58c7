#include "Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

// Takes the mutex on a thread of its own.
struct Taker : Thread {
  explicit Taker(Mutex& mutex) : _mutex(mutex) {}
  ~Taker() override { join(); }
  void run() override
  {
    MUTEX_LOCK(_mutex);
    took = true;
    MUTEX_UNLOCK(_mutex);
  }
  Mutex& _mutex;
  std::atomic<bool> took{false};
};

}

// Joining in the destructor and on a second start are the task tests' (each
// start aborts and joins the body before it); an event's wait is every web
// server start's, its time-out the stream contexts' expiry.
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
  Taker taker(mutex);
  taker.start();
  taker.join();
  EXPECT_TRUE(taker.took);
}
