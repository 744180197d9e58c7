#include "Thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

// Joining in the destructor and on a second start are the task tests' (each
// start aborts and joins the body before it); an event's wait is every web
// server start's, its time-out the stream contexts' expiry.
TEST(MutexTest, ExcludesOtherThreadsIsReentrantAndReleasedOnAnException)
{
  Mutex mutex;
  long counter = 0;
  std::vector<std::thread> adders;
  for (int t = 0; t < 4; ++t)
    adders.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        ScopedLock outer(&mutex), inner(&mutex);
        long value = counter;
        counter = value + 1;
      }
    });
  for (std::thread& adder : adders)
    adder.join();
  EXPECT_EQ(counter, 80000);

  try {
    ScopedLock lock(&mutex);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  bool took = false;
  std::thread([&] {
    MUTEX_LOCK(mutex);
    took = true;
    MUTEX_UNLOCK(mutex);
  }).join();
  EXPECT_TRUE(took);
}
