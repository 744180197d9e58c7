#include "DurationProbe.h"

#include "StandInScript.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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

}

TEST(ShortPathTest, WithoutAShortFormThePathIsKept)
{
  std::wstring path = L"C:\\videos\\a b.mp4";
  EXPECT_EQ(shortPath(path, fileGoesAway), path);
  EXPECT_EQ(shortPath(path, fileGrows), path);
}

TEST(DurationTest, LengthIsTheReportsToTheHundredthOrRefused)
{
  struct Case {
    std::string report;
    int milliseconds;  // 0: refused
  } cases[] = {
      {"err   Duration: 01:02:03.45, start: 0.000000, bitrate: 512 kb/s\n", 3723450},
      // "Duration: " straddles two of the stand-in's 4096-byte writes.
      {"err " + std::string(4090, 'x') + "\\n  Duration: 00:01:40.00\n", 100000},
      {"err   Duration: N/A, start: 0.000000\n", 0},
      {"err   Duration: -1:00:00.00\n", 0},
      {"err   Duration: 999:00:00.00\n", 0},
      {"err   Duration: 0:99999:9.9\n", 0},
      // The file's title comes first and cannot stand for its length.
      {"err     title           : Duration: 00:00:01.00\nerr   Duration: 02:00:00.00, start: 0.000000\n", 7200000},
      // A key's line feeds forge whole lines, before the input's own or after it (a stream's key).
      {"err     note\\n  Duration: 00:00:01.00, start: 0.000000\\n: x\n"
       "err   Duration: 00:00:30.00, start: 0.000000\n", 0},
      {"err   Duration: 00:00:30.00, start: 0.000000\n"
       "err       note\\n  Duration: 99:00:00.00, start: 0.000000\\n: x\n", 0},
      {"err clip.mp4: Invalid data found when processing input\n", 0},
  };
  LogRecorder log;
  for (const Case& c : cases) {
    StandInScript input("[probe]\n" + c.report);
    int milliseconds = -1;
    EXPECT_EQ(getDuration(standInTranscoderPath().c_str(), input.path(), &milliseconds), c.milliseconds > 0)
        << c.report.substr(0, 40);
    EXPECT_EQ(milliseconds, c.milliseconds);
  }
  EXPECT_EQ(log.count("Error: 2 Duration lines in output; all but one come from the file's metadata"), 2);
}
