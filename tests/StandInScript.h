#pragma once

// Runs the stand-in transcoder, which lies beside the test program, on a
// script that stands where it expects a video (see StandInMain.cpp).

#include "Portability.h"
#include "StandIn.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <string>
#include <vector>

inline std::string standInTranscoderPath()
{
  return toUtf8(joinPath(getDirectory(getModulePath()), STAND_IN_TRANSCODER_NAME));
}

class StandInScript {
public:
  explicit StandInScript(const std::string& script) : _path(_folder.file(L"clip \u00e9.mp4", script)) {}

  const std::wstring& path() const { return _path; }
  const TestFolder& folder() const { return _folder; }
  // The stream's command line.
  std::vector<std::string> streamArgs() const
  {
    return {standInTranscoderPath(), "-ss", "0", "-i", toUtf8(_path), "-f", "mpegts", "-"};
  }

private:
  TestFolder _folder;
  std::wstring _path;
};
