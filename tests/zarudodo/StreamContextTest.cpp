#include "StreamContext.h"

#include "Sink.h"
#include "StandInTranscoder.h"
#include "TestSupport.h"
#include "TsPackets.h"

#include <gtest/gtest.h>

#include <chrono>

// A transcoder that dies ends the stream at once; one that stalls fails it
// after ten silent seconds and goes with its context. Either way nothing is
// written, so the caller can still answer with an error.
TEST(StreamContextTest, DyingOrStalledTranscoderEndsTheSegment)
{
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
    {
      StandInTranscoder transcoder(script.folder().root());
      ASSERT_TRUE(transcoder.ready());
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
  }
}

// Past 26 h 31 min the transcoder's time stamps have wrapped to small
// numbers: only a context that tells its segmenter where the stream starts
// reads them as the video's own time, and cuts at the keyframe it asked for.
TEST(StreamContextTest, StartPastTheTimeStampWrapCutsAtTheVideosOwnTime)
{
  const int START_MS = 95500000;
  ASSERT_GT(static_cast<int64_t>(START_MS + TIMESTAMP_DELAY_MS) * 90, PTS_WRAP);
  std::string segment = videoFrame(streamPts(START_MS), IDR) + continuation() +
                        audioFrame(streamPts(START_MS + 20)) + videoFrame(streamPts(START_MS + 5000)) +
                        videoFrame(streamPts(START_MS + 9960));
  std::string rest = videoFrame(streamPts(START_MS + 10000), IDR) + continuation() +
                     videoFrame(streamPts(START_MS + 13000)) + audioFrame(streamPts(START_MS + 13020));
  StandInScript script("[stream]\nout-file stream.ts\n");
  script.folder().file(L"stream.ts", segment + rest);
  StandInTranscoder transcoder(script.folder().root());
  ASSERT_TRUE(transcoder.ready());
  LogRecorder log;
  StreamContext context;
  ASSERT_TRUE(context.start(script.path(), START_MS));

  StrSink first, second;
  EXPECT_EQ(context.stream(&first, START_MS + 10000), StreamContext::SEGMENT_COMPLETE);
  EXPECT_EQ(first._text.size() / PACKET_SIZE, segment.size() / PACKET_SIZE) << "packets in the segment";
  EXPECT_TRUE(first._text == segment);
  EXPECT_EQ(context.getTime(), START_MS + 10000);
  EXPECT_EQ(context.stream(&second, START_MS + 20000), StreamContext::VIDEO_ENDED);
  EXPECT_TRUE(second._text == rest);
  EXPECT_EQ(log.count("End of video at time " + std::to_string(START_MS + 13020 + TIMESTAMP_DELAY_MS) + " ms"), 1);
}

// A picture that pauses for longer than a segment, without sound: a segment
// inside the pause goes out as the stream's tables alone, and the stream goes on.
TEST(StreamContextTest, SegmentThatNothingFallsInIsTheStreamsTables)
{
  std::string tables = continuation(0x11) + continuation(0) + continuation(0x1000);
  std::string before = videoFrame(streamPts(0), IDR) + videoFrame(streamPts(9960));
  std::string after = videoFrame(streamPts(40000), IDR) + videoFrame(streamPts(45000));
  StandInScript script("[stream]\nout-file stream.ts\n");
  script.folder().file(L"stream.ts", tables + before + after);
  StandInTranscoder transcoder(script.folder().root());
  ASSERT_TRUE(transcoder.ready());
  StreamContext context;
  ASSERT_TRUE(context.start(script.path(), 0));

  StrSink segments[5];
  EXPECT_EQ(context.stream(&segments[0], 10000), StreamContext::SEGMENT_COMPLETE);
  EXPECT_TRUE(segments[0]._text == tables + before);
  for (int k = 1; k < 4; ++k) {
    EXPECT_EQ(context.stream(&segments[k], 10000 * (k + 1)), StreamContext::SEGMENT_COMPLETE);
    EXPECT_TRUE(segments[k]._text == tables) << "segment " << k;
  }
  EXPECT_EQ(context.stream(&segments[4], 50000), StreamContext::VIDEO_ENDED);
  EXPECT_TRUE(segments[4]._text == after);
}
