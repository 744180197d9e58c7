#include "Sink.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(SinkTest, TextSinksLogEachDeliveryByItsLength)
{
  LogRecorder log;
  StrSink text;
  ErrSink errors;
  char hello[] = "hello", world[] = " world", report[] = "Duration: 00:01:02.03, startXXXX";
  text.write(hello, 5);
  text.write(world, 6);
  errors.write(report, 28);
  text.write(nullptr, 0);
  errors.write(nullptr, 0);
  text.flush();
  errors.flush();
  EXPECT_EQ(text._text, "hello world");
  EXPECT_STREQ(report, "Duration: 00:01:02.03, startXXXX");
  EXPECT_EQ(log.lines("L_Encoder"), (std::vector<std::string>{"hello", " world", ""}));
  EXPECT_EQ(log.lines("L_StreamContext"), (std::vector<std::string>{"Duration: 00:01:02.03, start", ""}));
}

TEST(SinkTest, FullReadBufferKeepsAll4096BytesAndIsNotWrittenTo)
{
  // Nothing may be written past the pipe's buffer or over its last byte.
  std::vector<char> block(4096 + 1, 'D');
  block[4095] = 'Z';
  block[4096] = '#';
  StrSink sink;
  sink.write(block.data(), 4096);
  EXPECT_EQ(sink._text, std::string(4095, 'D') + "Z");
  EXPECT_EQ(block[4095], 'Z');
  EXPECT_EQ(block[4096], '#');
}
