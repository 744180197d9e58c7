#include "Encoder.h"

#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

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

  int milliseconds = -1;
};

}

// The short form itself is checked with the real transcoder.
TEST(ShortPathTest, WithoutAShortFormThePathIsKept)
{
  std::wstring missing = L"C:\\no such folder \u00e9\\clip.mp4";
  EXPECT_EQ(shortPath(missing), missing);
  std::wstring path = L"C:\\videos\\a b.mp4";
  EXPECT_EQ(shortPath(path, fileGoesAway), path);
  EXPECT_EQ(shortPath(path, fileGrows), path);
}

TEST_F(DurationTest, LengthIsTheReportsToTheHundredthOrRefused)
{
  struct Case {
    std::string report;
    int milliseconds;  // 0: refused
  } cases[] = {
      {"err   Duration: 01:02:03.45, start: 0.000000, bitrate: 512 kb/s\n", 3723450},
      {"out noise on standard output\nerr   Duration: 00:00:09.99\n", 9990},
      {"err   Duration: 00:00:00.48\n", 480},
      // "Duration: " straddles the end of the first, full 4096-byte read.
      {"err " + std::string(4090, 'x') + " Duration: 00:01:40.00\n", 100000},
      {"err   Duration: N/A, start: 0.000000\n", 0},
      {"err   Duration: -1:00:00.00\n", 0},
      {"err   Duration: 999:00:00.00\n", 0},
      {"err clip.mp4: Invalid data found when processing input\n", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(probe("[probe]\n" + c.report), c.milliseconds > 0) << c.report.substr(0, 40);
    EXPECT_EQ(milliseconds, c.milliseconds);
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
}
