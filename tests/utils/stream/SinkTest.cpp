#include "Sink.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

// A read that fills the pipe's buffer leaves no room for a terminator:
// nothing may be taken, logged or written past the delivered length.
TEST(SinkTest, DeliveriesAreTakenByTheirLengthAlone)
{
  LogRecorder log;
  std::vector<char> block(4096 + 1, 'D');
  block[4095] = 'Z';
  block[4096] = '#';
  StrSink text;
  text.write(block.data(), 4096);
  text.write(nullptr, 0);
  EXPECT_EQ(text._text, std::string(4095, 'D') + "Z");
  EXPECT_EQ(block[4095], 'Z');
  EXPECT_EQ(block[4096], '#');

  ErrSink errors;
  char report[] = "Duration: 00:01:02.03, startXXXX";
  errors.write(report, 28);
  errors.write(nullptr, 0);
  EXPECT_EQ(log.lines("L_StreamContext"), (std::vector<std::string>{"Duration: 00:01:02.03, start", ""}));
}
