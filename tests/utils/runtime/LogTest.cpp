#include "Log.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

// Switching keys on and off by name has no caller in the program.
TEST(LogTest, EnabledLinesReachTheSinkOnOneLineCutTo1022BytesOthersAreNotFormatted)
{
  LogRecorder log;
  int key = LogRegisterKey("L_Enabled", true);
  int off = LogRegisterKey("D_Off", false);
  LogPrintf(key, "%d videos in %s", 3, "C:\\Videos");
  LogPrintf(key, "%s", std::string(1500, 'x').c_str());
  LogPrintf(key, "Could not find %s", "x\nL_Main: Folders have changed.\r\n");
  LogPrintf(key, "Done\r\n");
  // A bad pointer for %s would crash if the line were formatted.
  const char* bad = reinterpret_cast<const char*>(16);
  LogPrintf(off, "%s", bad);
  LogPrintf(off + 1, "%s", bad);
  LogPrintf(-1, "%s", bad);
  LogSetSink(nullptr);
  LogPrintf(key, "%s", bad);
  EXPECT_EQ(log.lines("L_Enabled"), (std::vector<std::string>{"3 videos in C:\\Videos", std::string(1022, 'x'),
                                                              "Could not find x L_Main: Folders have changed.\r\n",
                                                              "Done\r\n"}));
}
