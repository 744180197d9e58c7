// The stand-in must honour both of the transcoder's command lines, or the
// tests built on it prove nothing about the real one.
#include "PipedProgram.h"
#include "Sink.h"
#include "StandInScript.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TextSink : Sink {
  void write(char* data, int length) override { text.append(data, length); }
  std::string text;
};

class StandInTranscoderTest : public testing::Test {
protected:
  void run(const std::vector<std::string>& args)
  {
    ASSERT_TRUE(program.start(args));
    while (program.read(&out, &err, 10000)) {
    }
  }

  PipedProgram program;
  TextSink out;
  TextSink err;
};

const char* const SCRIPT =
    "# both command lines\n"
    "err started\n"
    "[probe]\n"
    "err   Duration: 01:02:03.45, start: 0.000000, bitrate: 512 kb/s\n"
    "[stream]\n"
    "err from %ss% s\n"
    "out-pattern 3\n";

}

TEST_F(StandInTranscoderTest, EachCommandLineRunsItsOwnSection)
{
  StandInScript script(SCRIPT);
  run(script.probeArgs());
  EXPECT_EQ(err.text, "started\n  Duration: 01:02:03.45, start: 0.000000, bitrate: 512 kb/s\n");
  EXPECT_EQ(out.text, "");

  err.text.clear();
  run(script.streamArgs(20));
  EXPECT_EQ(err.text, "started\nfrom 20 s\n");
  EXPECT_EQ(out.text, std::string("\0\1\2", 3));
}

TEST_F(StandInTranscoderTest, RefusesWhatItCannotRun)
{
  StandInScript script("[probe]\nerr Duration: 00:00:01.00\n[stream]\njump 3\n");
  std::vector<std::string> args = script.probeArgs();
  args[2] += ".missing";
  run(args);
  run(script.streamArgs());
  run({standInTranscoderPath(), "-i", toUtf8(script.path()), "out.ts"});
  for (const char* complaint : {"No such file or directory", "unknown command: jump", "not a probe or stream command line"})
    EXPECT_NE(err.text.find(complaint), std::string::npos) << complaint;
  EXPECT_EQ(err.text.find("Duration"), std::string::npos);
}
