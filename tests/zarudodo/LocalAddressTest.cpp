#include "LocalAddress.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

// Both programs look the address up as they start, and log it as their own.
TEST(LocalAddress, LogsUnderTheProgramsChannel)
{
  LogRecorder log;
  getLocalAddress();
  std::vector<std::string> lines = log.lines("L_StreamerApp");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("Host name is ", 0), 0u) << lines[0];
  EXPECT_EQ(log.lines().size(), lines.size()) << "lines under another channel";
}
