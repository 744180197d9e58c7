#include "Task.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// With hold set, the body runs until it is asked to abort.
class CountingTask : public Task<int> {
public:
  explicit CountingTask(bool hold, TaskObserver* observer = nullptr) : Task<int>(observer), _hold(hold) {}
  ~CountingTask() override { abort(); }

  std::atomic<int> bodies{0};
  std::atomic<int> aborted{0};
  std::atomic<int> lastParams{-1};

protected:
  void runTask(int params) override
  {
    ++bodies;
    lastParams = params;
    while (_hold && !_abortRequested)
      Sleep(1);
    aborted += _abortRequested ? 1 : 0;
  }

private:
  bool _hold;
};

struct CountingObserver : TaskObserver {
  void notify(AbstractTask* task) override
  {
    ++calls;
    lastDone = task->isDone();
  }
  int calls = 0;
  bool lastDone = false;
};

}

TEST(TaskTest, BodyRunsOnItsParametersThenReportsDone)
{
  CountingObserver observer;
  CountingTask task(false, &observer);
  EXPECT_FALSE(task.isDone());
  EXPECT_EQ(task.getProgress(), 0.0);
  ASSERT_TRUE(task.start(5));
  task.join();
  EXPECT_EQ(task.lastParams, 5);
  EXPECT_TRUE(task.isDone());
  EXPECT_EQ(task.getProgress(), 1.0);
  EXPECT_EQ(observer.calls, 1);
  EXPECT_TRUE(observer.lastDone);
  task.setProgress(0.5);
  EXPECT_EQ(observer.calls, 2);
  EXPECT_EQ(task.getProgress(), 0.5);
}

TEST(TaskTest, StartsFromSeveralThreadsAreSerialised)
{
  int before = countThreads();
  {
    CountingTask task(true);
    const int CALLERS = 4;
    const int STARTS = 50;
    std::vector<std::thread> callers;
    for (int c = 0; c < CALLERS; ++c)
      callers.emplace_back([&task, c] {
        for (int i = 0; i < STARTS; ++i)
          task.start(c * 1000 + i);
      });
    for (auto& caller : callers)
      caller.join();
    task.abort();
    EXPECT_EQ(task.bodies, CALLERS * STARTS);
    EXPECT_EQ(task.aborted, CALLERS * STARTS);
  }
  EXPECT_EQ(countThreads(), before);
}
