#include "DurationProbe.h"

#include "Log.h"
#include "PipedProgram.h"
#include "Sink.h"
#include "StringUtil.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

// The transcoder prints its report at once; this much silence means it hangs.
const unsigned PROBE_TIMEOUT_MS = 10000;
// The input's own length starts a line, indented by two blanks. The file's
// metadata comes first, indented deeper, and may say anything, even
// "Duration: " (a title, say). A key, though, is printed as stored, line
// feeds and all, and can forge a whole line before the input's own or after
// it (in a stream's metadata): the transcoder prints one for its one input,
// so a report with more has been tampered with.
const char DURATION_LABEL[] = "  Duration: ";
const size_t DURATION_CODE_LENGTH = 11;  // hh:mm:ss.cc
// Two digits of hours at most fit the code; the length in ms stays an int.
const int64_t MAX_HOURS = 99;

// Where the code of each duration line starts.
std::vector<size_t> findDurationCodes(const std::string& report)
{
  std::vector<size_t> codes;
  for (size_t at = report.find(DURATION_LABEL); at != std::string::npos; at = report.find(DURATION_LABEL, at + 1)) {
    if (at == 0 || report[at - 1] == '\n')
      codes.push_back(at + sizeof DURATION_LABEL - 1);
  }
  return codes;
}

// Reads "hh:mm:ss.cc" from the report.
bool parseDuration(const std::string& report, int* milliseconds)
{
  std::vector<size_t> codes = findDurationCodes(report);
  if (codes.empty()) {
    LogPrintf(ENCODER_LOG_KEY, "Could not find Duration in output: %s", report.c_str());
    return false;
  }
  if (codes.size() > 1) {
    LogPrintf(ENCODER_LOG_KEY, "Error: %d Duration lines in output; all but one come from the file's metadata",
              static_cast<int>(codes.size()));
    return false;
  }
  size_t start = codes.front();
  std::string code = report.substr(start, DURATION_CODE_LENGTH);
  LogPrintf(ENCODER_LOG_KEY, "Duration code: %s", code.c_str());
  // 64 bits: eleven characters can hold a number beyond an int.
  int64_t hours, minutes, secs, hundredths;
  if (sscanf(code.c_str(), "%" SCNd64 ":%" SCNd64 ":%" SCNd64 ".%" SCNd64, &hours, &minutes, &secs, &hundredths) != 4 ||
      hours < 0 || hours > MAX_HOURS || minutes < 0 || minutes >= 60 || secs < 0 || secs >= 60 || hundredths < 0 ||
      hundredths >= 100) {
    LogPrintf(ENCODER_LOG_KEY, "Error: Could not decode duration from %s", code.c_str());
    return false;
  }
  *milliseconds = static_cast<int>(((hours * 60 + minutes) * 60 + secs) * 1000 + hundredths * 10);
  LogPrintf(ENCODER_LOG_KEY, "Result is %d ms", *milliseconds);
  return true;
}
}

std::wstring shortPath(const std::wstring& path, ShortPathQuery query)
{
  DWORD length = query(path.c_str(), nullptr, 0);
  if (length == 0) {
    LogPrintf(ENCODER_LOG_KEY, "GetShortPathName() failed: %d", static_cast<int>(GetLastError()));
    return path;
  }
  std::vector<wchar_t> buffer(length + 1);
  DWORD written = query(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  // The file may have gone or been renamed since the first call.
  if (written == 0 || written >= buffer.size()) {
    LogPrintf(ENCODER_LOG_KEY, "GetShortPathName() failed: %d", static_cast<int>(GetLastError()));
    return path;
  }
  return std::wstring(buffer.data(), written);
}

bool getDuration(const char* executable, const std::wstring& videoPath, int* milliseconds)
{
  *milliseconds = 0;
  PipedProgram program;
  if (!program.start({executable, "-i", toUtf8(shortPath(videoPath))})) {
    LogPrintf(ENCODER_LOG_KEY, "Could not start encoder to find duration");
    return false;
  }
  // The report comes on standard error; standard output is read and dropped.
  StrSink report;
  while (program.read(nullptr, &report, PROBE_TIMEOUT_MS)) {
  }
  // A transcoder that hangs is ended before what it said is searched.
  program.close();
  return parseDuration(report._text, milliseconds);
}
