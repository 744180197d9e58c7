#include "StreamContext.h"

#include "Encoder.h"
#include "StandInScript.h"
#include "TestSupport.h"
#include "TsPackets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

const char STREAM_CONTEXT[] = "L_StreamContext";
const int64_t PTS_PER_SECOND = 90000;

// Two video frames a second, keyframes every keyframeSeconds, each frame
// followed by a continuation packet and an audio frame.
std::string transportStream(int seconds, int keyframeSeconds = 1)
{
  std::string stream;
  for (int64_t half = 0; half < seconds * 2; ++half) {
    int64_t pts = half * PTS_PER_SECOND / 2;
    stream += half % (keyframeSeconds * 2) == 0 ? videoKeyframe(pts) : videoFrame(pts);
    stream += continuation();
    stream += audioFrame(pts);
  }
  return stream;
}

// Where the packet holding the keyframe at the given second begins.
size_t keyframeOffset(const std::string& stream, int second)
{
  size_t offset = stream.find(videoKeyframe(second * PTS_PER_SECOND));
  EXPECT_NE(offset, std::string::npos);
  return offset;
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

  void writeFile(const std::wstring& name, const std::string& bytes) { script->folder().file(name, bytes); }

  // What the transcoder said on its standard error, and our lines after it.
  std::string logged()
  {
    std::string text;
    for (const std::string& line : log.lines(STREAM_CONTEXT))
      text += line;
    return text;
  }

  LogRecorder log;
  std::unique_ptr<StandInScript> script;
  std::unique_ptr<StreamContext> context{new StreamContext};
  CollectingSink out;

private:
  std::wstring _oldFolder = currentFolder();
};

}

TEST_F(StreamContextTest, TranscoderGetsTheStreamCommandLineAndMustExist)
{
  useScript("[stream]\nerr-args\n");
  ASSERT_TRUE(context->start(script->path(), 20999));
  EXPECT_EQ(context->getTime(), 20999);
  EXPECT_FALSE(context->stream(&out, 30999));

  std::vector<std::string> args;
  split(logged().c_str(), "\n", args);
  args.pop_back();  // the closing log line
  for (std::string& arg : args)
    arg = arg.substr(1, arg.size() - 2);
  std::vector<std::string> expected;
  split(("-ss 20 -i " + toUtf8(shortPath(script->path())) +
         " -f mpegts -acodec libmp3lame -ar 48000 -ab 64k -s 320x240 -vcodec libx264 -b 192k -flags +loop"
         " -cmp +chroma -partitions +parti4x4+partp8x8+partb8x8 -subq 5 -trellis 1 -refs 1 -coder 0"
         " -me_range 16 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -bt 200k -maxrate 96k -bufsize 96k"
         " -rc_eq blurCplx^(1-qComp) -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -level 30 -aspect 320:240 -g 30"
         " -async 2 -").c_str(), " ", expected);
  EXPECT_EQ(args, expected);
  EXPECT_EQ(args.size() + 1, 66u);  // and the program's own name
  EXPECT_EQ(args[3].find(' '), std::string::npos);

  useScript("[stream]\nout-pattern 188\n", false);
  context.reset(new StreamContext);
  EXPECT_FALSE(context->start(script->path(), 20000));
  EXPECT_EQ(context->getTime(), 0);
}

// Keyframes 15 s apart: the second segment runs on to 30 s, past the
// third's end, which then answers empty.
TEST_F(StreamContextTest, SuccessiveSegmentsContinueOneTranscoderAtKeyframes)
{
  // The file's name proves the start offset: "-ss 20".
  useScript("[stream]\nerr transcoding from %ss% s\nout-file stream-%ss%.ts\nstall\n");
  std::string stream = transportStream(60, 15);
  writeFile(L"stream-20.ts", stream);
  ASSERT_TRUE(context->start(script->path(), 20000));
  ASSERT_TRUE(context->stream(&out, 30000));
  EXPECT_EQ(out._data, stream.substr(0, keyframeOffset(stream, 15)));
  EXPECT_NE(logged().find("transcoding from 20 s\n"), std::string::npos);

  Sleep(500);  // paused meanwhile by its full pipe
  ASSERT_TRUE(context->stream(&out, 40000));
  EXPECT_EQ(out._data, stream.substr(0, keyframeOffset(stream, 30)));
  EXPECT_EQ(1, log.count("    streamed to time 30000 ms"));

  CollectingSink third;
  EXPECT_TRUE(context->stream(&third, 50000));
  EXPECT_EQ(third._writes, 1);
  EXPECT_EQ(third._data, "");
  EXPECT_EQ(context->getTime(), 50000);
}

TEST_F(StreamContextTest, EndOfVideoDeliversEveryPacketAndFails)
{
  useScript("[stream]\nout-file stream.ts\n");
  std::string stream = transportStream(15);
  writeFile(L"stream.ts", stream);
  ASSERT_TRUE(context->start(script->path(), 0));
  ASSERT_TRUE(context->stream(&out, 10000));
  auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(context->stream(&out, 20000));
  EXPECT_LT(millisecondsSince(begin), 5000);
  EXPECT_EQ(out._data, stream);
  EXPECT_EQ(context->getTime(), 10000);
  EXPECT_EQ(1, log.count("No more data from encoder at time 14500 ms"));
}

// A dying transcoder fails at once with every whole packet delivered; a
// stalled one after ten silent seconds, and it is ended with its context.
TEST_F(StreamContextTest, DyingOrStalledTranscoderFailsTheSegment)
{
  struct Case {
    const char* end;
    long long minMs;
    long long maxMs;
  } cases[] = {{"exit 3\n", 0, 5000}, {"stall\n", 9500, 20000}};
  for (const Case& c : cases) {
    useScript(std::string("[stream]\nout-file part.ts\n") + c.end);
    std::string part = transportStream(4);
    writeFile(L"part.ts", part + std::string(100, '\x47'));
    context.reset(new StreamContext);
    out._data.clear();
    ASSERT_TRUE(context->start(script->path(), 0));
    auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(context->stream(&out, 10000)) << c.end;
    long long waited = millisecondsSince(begin);
    EXPECT_GE(waited, c.minMs);
    EXPECT_LT(waited, c.maxMs);
    EXPECT_EQ(out._data, part);
    EXPECT_EQ(context->getTime(), 0);
    context.reset();
    EXPECT_EQ(countOwnChildren(), 0u);
  }
}
