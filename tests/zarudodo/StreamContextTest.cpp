#include "StreamContext.h"

#include "Sink.h"
#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

// A transcoder that dies ends the stream at once; one that stalls fails it
// after ten silent seconds and goes with its context. Either way nothing is
// written, so the caller can still answer with an error.
TEST(StreamContextTest, DyingOrStalledTranscoderEndsTheSegment)
{
  wchar_t oldFolder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, oldFolder);
  struct Case {
    const char* script;
    StreamContext::Result result;
    long long minMs;
    long long maxMs;
  } cases[] = {
      {"exit 3\n", StreamContext::VIDEO_ENDED, 0, 5000},
      {"stall\n", StreamContext::STREAM_FAILED, 9500, 20000},
  };
  for (const Case& c : cases) {
    StandInScript script(std::string("[stream]\n") + c.script);
    const std::wstring& folder = script.folder().root();
    ASSERT_TRUE(CopyFileW(toWide(standInTranscoderPath()).c_str(), joinPath(folder, L"ffmpeg.exe").c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    {
      StreamContext context;
      StrSink out;
      ASSERT_TRUE(context.start(script.path(), 0));
      auto begin = std::chrono::steady_clock::now();
      EXPECT_EQ(context.stream(&out, 10000), c.result) << c.script;
      EXPECT_GE(millisecondsSince(begin), c.minMs);
      EXPECT_LT(millisecondsSince(begin), c.maxMs);
      EXPECT_EQ(out._text, "");
    }
    EXPECT_EQ(countOwnChildren(), 0u);
    SetCurrentDirectoryW(oldFolder);
  }
}
