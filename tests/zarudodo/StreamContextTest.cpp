#include "StreamContext.h"

#include "StandInScript.h"
#include "TestSupport.h"
#include "TsPackets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

const int64_t PTS_PER_SECOND = 90000;
// The transcoder's stamps run this far ahead of the video's time.
const int64_t STAMP_DELAY = 126000;

// Half-second frames stamped as the transcoder stamps them, each followed
// by a continuation packet and an audio frame; the first is a keyframe.
std::string transportStream(int seconds)
{
  std::string stream;
  for (int64_t half = 0; half < seconds * 2; ++half) {
    int64_t pts = half * PTS_PER_SECOND / 2 + STAMP_DELAY;
    stream += videoFrame(pts, half ? SLICE : IDR) + continuation() + audioFrame(pts);
  }
  return stream;
}

std::wstring currentFolder()
{
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// The stand-in runs as the working directory's "ffmpeg.exe" and plays the
// script that stands where the video would be.
class StreamContextTest : public testing::Test {
protected:
  void TearDown() override
  {
    context.reset();
    SetCurrentDirectoryW(_oldFolder.c_str());
  }

  void useScript(const std::string& text, bool withTranscoder = true)
  {
    SetCurrentDirectoryW(_oldFolder.c_str());  // lets the last folder go
    script.reset(new StandInScript(text));
    const std::wstring& folder = script->folder().root();
    if (withTranscoder) {
      ASSERT_TRUE(CopyFileW(toWide(standInTranscoderPath()).c_str(), joinPath(folder, L"ffmpeg.exe").c_str(), FALSE));
    }
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  }

  std::unique_ptr<StandInScript> script;
  std::unique_ptr<StreamContext> context{new StreamContext};
  CollectingSink out;

private:
  std::wstring _oldFolder = currentFolder();
};

}

// The command line, and segments cut from one transcoder in turn, are
// checked with the real transcoder.
TEST_F(StreamContextTest, TranscoderMustExist)
{
  useScript("[stream]\nout-pattern 188\n", false);
  EXPECT_FALSE(context->start(script->path(), 20000));
  EXPECT_EQ(context->getTime(), 0);
}

// An ending transcoder (the end of the video, or nothing to give at all) ends
// the stream at once with every whole packet delivered; a stalled one fails
// after ten silent seconds, and it is ended with its context.
TEST_F(StreamContextTest, EndingOrStalledTranscoderEndsTheSegment)
{
  struct Case {
    const char* script;
    StreamContext::Result result;
    long long minMs;
    long long maxMs;
  } cases[] = {
      {"out-file part.ts\nexit 3\n", StreamContext::VIDEO_ENDED, 0, 5000},
      {"out-file part.ts\nstall\n", StreamContext::STREAM_FAILED, 9500, 20000},
      {"err clip.mp4: Invalid data found when processing input\nexit 1\n", StreamContext::VIDEO_ENDED, 0, 5000},
  };
  for (const Case& c : cases) {
    useScript(std::string("[stream]\n") + c.script);
    std::string part = transportStream(4);
    script->folder().file(L"part.ts", part + std::string(100, '\x47'));
    context.reset(new StreamContext);
    out = CollectingSink();
    ASSERT_TRUE(context->start(script->path(), 0));
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(context->stream(&out, 10000), c.result) << c.script;
    long long waited = millisecondsSince(begin);
    EXPECT_GE(waited, c.minMs);
    EXPECT_LT(waited, c.maxMs);
    bool wrote = std::string(c.script).find("out-file") == 0;
    EXPECT_EQ(out._data, wrote ? part : "");
    EXPECT_EQ(out._writes > 0, wrote) << "nothing written: the caller can still answer with an error";
    EXPECT_EQ(context->getTime(), 0);
    context.reset();
    EXPECT_EQ(countOwnChildren(), 0u);
  }
}
