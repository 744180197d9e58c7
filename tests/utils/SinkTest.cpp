#include "Log.h"
#include "Sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> logged;

void recordingSink(const char* key, const char* text)
{
  logged.emplace_back(key, text);
}

class SinkTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    logged.clear();
    LogSetSink(recordingSink);
  }
  void TearDown() override { LogSetSink(nullptr); }
};

}

TEST_F(SinkTest, StrSinkCollectsAndLogsEachDelivery)
{
  StrSink sink;
  char hello[] = "hello";
  char world[] = " world";
  sink.write(hello, 5);
  sink.write(world, 6);
  EXPECT_EQ(sink._text, "hello world");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0], std::make_pair(std::string("L_Encoder"), std::string("hello")));
  EXPECT_EQ(logged[1].second, " world");
}

TEST_F(SinkTest, FullReadBufferKeepsEveryByteAndIsNotWrittenTo)
{
  // The pipe's buffer is exactly 4096 bytes; nothing may be written past it
  // or over its last byte.
  std::vector<char> block(4096 + 1, 'D');
  block[4095] = 'Z';
  block[4096] = '#';
  StrSink sink;
  sink.write(block.data(), 4096);
  ASSERT_EQ(sink._text.size(), 4096u);
  EXPECT_EQ(sink._text.back(), 'Z');
  EXPECT_EQ(block[4095], 'Z');
  EXPECT_EQ(block[4096], '#');
}

TEST_F(SinkTest, PartialDeliveryIsLoggedByItsLength)
{
  char buffer[] = "Duration: 00:01:02.03, startXXXX";
  ErrSink sink;
  sink.write(buffer, 28);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0], std::make_pair(std::string("L_StreamContext"), std::string("Duration: 00:01:02.03, start")));
  EXPECT_STREQ(buffer, "Duration: 00:01:02.03, startXXXX");
}

TEST_F(SinkTest, EmptyDeliveryLogsAnEmptyLineAndFlushDoesNothing)
{
  StrSink text;
  ErrSink errors;
  text.write(nullptr, 0);
  errors.write(nullptr, 0);
  text.flush();
  errors.flush();
  EXPECT_EQ(text._text, "");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].second, "");
  EXPECT_EQ(logged[1].second, "");
}
