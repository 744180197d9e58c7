#include "Log.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(LogTest, EnabledLinesReachTheSinkCutTo1022BytesOthersAreNotFormatted)
{
  LogRecorder log;
  int key = LogRegisterKey("L_Enabled", true);
  int off = LogRegisterKey("D_Off", false);
  LogPrintf(key, "%d videos in %s", 3, "C:\\Videos");
  LogPrintf(key, "%s", std::string(1500, 'x').c_str());
  LogPrintf(key, "%s", std::string(1022, 'y').c_str());
  // A bad pointer for %s would crash if the line were formatted.
  const char* bad = reinterpret_cast<const char*>(16);
  LogPrintf(off, "%s", bad);
  LogPrintf(off + 1, "%s", bad);
  LogPrintf(-1, "%s", bad);
  LogSetSink(nullptr);
  LogPrintf(key, "%s", bad);
  EXPECT_EQ(log.lines("L_Enabled"),
            (std::vector<std::string>{"3 videos in C:\\Videos", std::string(1022, 'x'), std::string(1022, 'y')}));
  EXPECT_EQ(log.lines().size(), 3u);
}

// Switching keys on and off by name has no caller in the program.
TEST(LogTest, RegistrationPastTheTableFailsTheAssertion)
{
  EXPECT_DEATH(
      {
        for (unsigned i = 0; i <= MAX_LOG_KEYS; ++i)
          LogRegisterKey("L_Filler", true);
      },
      "_keyCount != MAX_LOG_KEYS");
}

static std::atomic<int> sinkACount, sinkBCount;

TEST(LogTest, SinkReplacedWhileThreadsLog)
{
  int key = LogRegisterKey("L_Busy", true);
  const int THREADS = 4, LINES = 20000;
  LogSinkFunction countingSinkA = [](const char*, const char*) { ++sinkACount; };
  LogSinkFunction countingSinkB = [](const char*, const char*) { ++sinkBCount; };
  LogSetSink(countingSinkA);
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([key] {
      for (int i = 0; i < LINES; ++i)
        LogPrintf(key, "line %d", i);
    });
  for (int i = 0; i < 1000; ++i)
    LogSetSink(i % 2 ? countingSinkA : countingSinkB);
  for (auto& t : threads)
    t.join();
  LogSetSink(nullptr);
  // Every line went to exactly one of the two sinks.
  EXPECT_EQ(sinkACount + sinkBCount, THREADS * LINES);
}
