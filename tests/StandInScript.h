#pragma once

// Runs the stand-in transcoder from tests: it lies beside the test program,
// and a script written here tells it what to do (see StandInMain.cpp).

#include "Portability.h"
#include "StandIn.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <windows.h>

#include <string>
#include <vector>

inline std::string standInTranscoderPath()
{
  return toUtf8(joinPath(getDirectory(getModulePath()), STAND_IN_TRANSCODER_NAME));
}

// The script stands where the transcoder expects a video; the command line
// is the stream's.
class StandInScript {
public:
  explicit StandInScript(const std::string& script) : _path(_folder.file(L"clip \u00e9.mp4", script)) {}

  const std::wstring& path() const { return _path; }
  const TestFolder& folder() const { return _folder; }

  std::vector<std::string> streamArgs() const
  {
    return {standInTranscoderPath(), "-ss", "0", "-i", toUtf8(_path), "-f", "mpegts", "-"};
  }

private:
  TestFolder _folder;
  std::wstring _path;
};
