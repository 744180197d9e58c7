#pragma once

#include "StandInScript.h"
#include "Transcoder.h"

#include <windows.h>

#include <string>

// The stand-in in the transcoder's place: copied under the transcoder's name
// into a folder, which is the current folder for this object's lifetime.
class StandInTranscoder {
public:
  explicit StandInTranscoder(const std::wstring& folder)
  {
    GetCurrentDirectoryW(MAX_PATH, _oldFolder);
    _ready = CopyFileW(toWide(standInTranscoderPath()).c_str(), joinPath(folder, toWide(TRANSCODER)).c_str(),
                       FALSE) &&
             SetCurrentDirectoryW(folder.c_str());
  }
  ~StandInTranscoder() { SetCurrentDirectoryW(_oldFolder); }
  StandInTranscoder(const StandInTranscoder&) = delete;
  StandInTranscoder& operator=(const StandInTranscoder&) = delete;

  bool ready() const { return _ready; }

private:
  wchar_t _oldFolder[MAX_PATH] = {};
  bool _ready;
};
