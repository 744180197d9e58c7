#include "Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> received;

void recordingSink(const char* key, const char* text)
{
  received.emplace_back(key, text);
}

class LogTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    received.clear();
    LogSetSink(recordingSink);
  }
  void TearDown() override { LogSetSink(nullptr); }
};

}

TEST_F(LogTest, EnabledLineReachesSinkWithKeyName)
{
  int key = LogRegisterKey("L_Enabled", true);
  LogPrintf(key, "%d videos in %s", 3, "C:\\Videos");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first, "L_Enabled");
  EXPECT_EQ(received[0].second, "3 videos in C:\\Videos");
}

TEST_F(LogTest, DroppedLinesAreNotFormatted)
{
  int off = LogRegisterKey("D_Off", false);
  int on = LogRegisterKey("L_On", true);
  // A bad pointer for %s would crash if the line were formatted.
  const char* bad = reinterpret_cast<const char*>(16);
  LogPrintf(off, "%s", bad);
  LogPrintf(on + 1, "%s", bad);
  LogPrintf(-1, "%s", bad);
  LogSetSink(nullptr);
  LogPrintf(on, "%s", bad);
  EXPECT_TRUE(received.empty());
}

TEST_F(LogTest, LongLineIsCutTo1022Bytes)
{
  int key = LogRegisterKey("L_Long", true);
  std::string text(1500, 'x');
  LogPrintf(key, "%s", text.c_str());
  LogPrintf(key, "%s", std::string(1022, 'y').c_str());
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].second, std::string(1022, 'x'));
  EXPECT_EQ(received[1].second, std::string(1022, 'y'));
}

TEST_F(LogTest, EnableKeySwitchesOnlyTheFirstOfTwoEqualNames)
{
  int first = LogRegisterKey("L_Twice", false);
  int second = LogRegisterKey("L_Twice", false);
  EXPECT_NE(first, second);
  LogEnableKey("L_Twice", true);
  LogPrintf(first, "first");
  LogPrintf(second, "second");
  LogEnableKey("l_twice", false);  // case-sensitive: no change
  LogPrintf(first, "again");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].second, "first");
  EXPECT_EQ(received[1].second, "again");
}

TEST_F(LogTest, EnablePrefixSwitchesAClassOfKeys)
{
  int debug = LogRegisterKey("D_Portability", false);
  int graphics = LogRegisterKey("D_Graphics", false);
  int normal = LogRegisterKey("L_Other", false);
  LogEnablePrefix("D_", true);
  LogPrintf(debug, "a");
  LogPrintf(graphics, "b");
  LogPrintf(normal, "c");
  LogEnablePrefix("", false);
  LogPrintf(debug, "d");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].first, "D_Portability");
  EXPECT_EQ(received[1].first, "D_Graphics");
}

TEST(LogDeathTest, RegistrationPastTheTableFailsTheAssertion)
{
  EXPECT_DEATH(
      {
        for (unsigned i = 0; i <= MAX_LOG_KEYS; ++i)
          LogRegisterKey("L_Filler", true);
      },
      "_keyCount != MAX_LOG_KEYS");
}

namespace {
std::atomic<int> sinkACount;
std::atomic<int> sinkBCount;
void countingSinkA(const char*, const char*) { ++sinkACount; }
void countingSinkB(const char*, const char*) { ++sinkBCount; }
}

TEST(LogConcurrencyTest, SinkReplacedWhileThreadsLog)
{
  int key = LogRegisterKey("L_Busy", true);
  const int THREADS = 4;
  const int LINES = 20000;
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
