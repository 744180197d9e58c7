#include "Task.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// With hold set, the body runs until it is asked to abort. The program
// watches no task, so no observer is tested.
class CountingTask : public Task<int> {
public:
  explicit CountingTask(bool hold) : Task<int>(nullptr), _hold(hold) {}
  ~CountingTask() override { abort(); }

  std::atomic<int> bodies{0}, aborted{0}, lastParams{-1};

protected:
  void runTask(int params) override
  {
    ++bodies;
    lastParams = params;
    while (_hold && !_abortRequested)
      Sleep(1);
    aborted += _abortRequested;
  }

private:
  bool _hold;
};

}

TEST(TaskTest, StartsFromSeveralThreadsAreSerialisedAndLeaveNoThread)
{
  int before = countThreads();
  {
    CountingTask task(true);
    EXPECT_FALSE(task.isDone());
    std::vector<std::thread> callers;
    for (int c = 0; c < 4; ++c)
      callers.emplace_back([&task, c] {
        for (int i = 0; i < 50; ++i)
          task.start(c * 1000 + i);
      });
    for (auto& caller : callers)
      caller.join();
    task.abort();
    EXPECT_EQ(task.bodies, 200);
    EXPECT_EQ(task.aborted, 200) << "each start aborted and joined the body before";
    EXPECT_TRUE(task.isDone());
    ASSERT_TRUE(task.start(5));
    task.abort();
    EXPECT_EQ(task.lastParams, 5);
  }
  EXPECT_EQ(countThreads(), before);
}
