#include "Encoder.h"

#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

const char ENCODER[] = "L_Encoder";

// Reports the short form's size, then fails: the file went in between.
DWORD WINAPI fileGoesAway(LPCWSTR, LPWSTR out, DWORD)
{
  SetLastError(ERROR_FILE_NOT_FOUND);
  return out ? 0 : 20;
}

// Reports a size, then needs more: the file was renamed in between.
DWORD WINAPI fileGrows(LPCWSTR, LPWSTR out, DWORD)
{
  return out ? 40 : 20;
}

class DurationTest : public testing::Test {
protected:
  bool probe(const std::string& script)
  {
    StandInScript input(script);
    milliseconds = -1;
    return getDuration(standInTranscoderPath().c_str(), input.path(), &milliseconds);
  }

  LogRecorder log;
  int milliseconds = -1;
};

}

TEST(ShortPathTest, PathWithBlanksAndNonAsciiBecomesAPlainTokenForTheSameFile)
{
  TestFolder folder;
  std::wstring path = folder.file(L"clip \u00e9 \u4e2d.mp4", "video");
  std::wstring plain = shortPath(path);
  for (wchar_t c : plain) {
    EXPECT_GT(c, L' ');
    EXPECT_LT(c, 128);
  }
  std::string bytes;
  EXPECT_TRUE(readFile(plain, bytes));
  EXPECT_EQ(bytes, "video");
}

TEST(ShortPathTest, WithoutAShortFormThePathIsKept)
{
  LogRecorder log;
  std::wstring missing = L"C:\\no such folder \u00e9\\clip.mp4";
  EXPECT_EQ(shortPath(missing), missing);
  ASSERT_EQ(log.lines(ENCODER).size(), 1u);
  EXPECT_EQ(log.lines(ENCODER)[0].rfind("GetShortPathName() failed: ", 0), 0u);

  log.clear();
  std::wstring path = L"C:\\videos\\a b.mp4";
  EXPECT_EQ(shortPath(path, fileGoesAway), path);
  EXPECT_EQ(log.lines(ENCODER), std::vector<std::string>{"GetShortPathName() failed: 2"});
  EXPECT_EQ(shortPath(path, fileGrows), path);
}

TEST_F(DurationTest, LengthIsTheReportsToTheHundredthOrRefused)
{
  struct Case {
    std::string report;
    int milliseconds;  // 0: refused
    const char* line;
  } cases[] = {
      {"err   Duration: 01:02:03.45, start: 0.000000, bitrate: 512 kb/s\n", 3723450, "Result is 3723450 ms"},
      {"out noise on standard output\nerr   Duration: 00:00:09.99\n", 9990, "Duration code: 00:00:09.99"},
      {"err   Duration: 00:00:00.48\n", 480, nullptr},
      // "Duration: " straddles the end of the first, full 4096-byte read.
      {"err " + std::string(4090, 'x') + " Duration: 00:01:40.00\n", 100000, "Result is 100000 ms"},
      {"err   Duration: N/A, start: 0.000000\n", 0, "Error: Could not decode duration from N/A, start:"},
      {"err   Duration: -1:00:00.00\n", 0, nullptr},
      {"err   Duration: 999:00:00.00\n", 0, nullptr},
      {"err clip.mp4: Invalid data found when processing input\n", 0,
       "Could not find Duration in output: clip.mp4: Invalid data found when processing input\n"},
  };
  for (const Case& c : cases) {
    log.clear();
    EXPECT_EQ(probe("[probe]\n" + c.report), c.milliseconds > 0) << c.report.substr(0, 40);
    EXPECT_EQ(milliseconds, c.milliseconds);
    if (c.line) {
      EXPECT_EQ(1, log.count(c.line)) << c.line;
    }
  }
}

TEST_F(DurationTest, HangingTranscoderIsEndedAfterTenSilentSeconds)
{
  auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(probe("[probe]\nerr   Duration: 00:00:42.00\nstall\n"));
  long long waited = millisecondsSince(begin);
  EXPECT_EQ(milliseconds, 42000);
  EXPECT_GE(waited, 9500);
  EXPECT_LT(waited, 20000);
  EXPECT_EQ(countOwnChildren(), 0u);
}

TEST_F(DurationTest, TranscoderThatCannotStartFails)
{
  StandInScript input("[probe]\nerr   Duration: 00:00:09.99\n");
  EXPECT_FALSE(getDuration("no-such-transcoder.exe", input.path(), &milliseconds));
  EXPECT_EQ(milliseconds, 0);
  EXPECT_EQ(1, log.count("Could not start encoder to find duration"));
}
