#pragma once

// Runs the stand-in transcoder from tests: it lies beside the test program,
// and a script written here tells it what to do (see StandInMain.cpp).

#include "Portability.h"
#include "StandIn.h"
#include "StringUtil.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

inline std::string standInTranscoderPath()
{
  return toUtf8(joinPath(getDirectory(getModulePath()), STAND_IN_TRANSCODER_NAME));
}

// A unique folder in the temporary folder, its name with a blank and
// non-ASCII letters; removed with what it holds.
class TestFolder {
public:
  TestFolder()
  {
    static std::atomic<unsigned> serial{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    _path = joinPath(temp, L"stand-in \u00e9t\u00e9 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(serial++));
    CreateDirectoryW(_path.c_str(), nullptr);
  }
  ~TestFolder()
  {
    FolderReader reader(_path);
    std::wstring name;
    while (reader.next(name))
      DeleteFileW(joinPath(_path, name).c_str());
    reader.close();
    RemoveDirectoryW(_path.c_str());
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::wstring& path() const { return _path; }

  std::wstring write(const std::wstring& name, const std::string& bytes) const
  {
    std::wstring file = joinPath(_path, name);
    FILE* stream = _wfopen(file.c_str(), L"wb");
    if (stream) {
      fwrite(bytes.data(), 1, bytes.size(), stream);
      fclose(stream);
    }
    return file;
  }

private:
  std::wstring _path;
};

// The script stands where the transcoder expects a video; the command lines
// are the transcoder's two.
class StandInScript {
public:
  explicit StandInScript(const std::string& script) : _path(_folder.write(L"clip \u00e9.mp4", script)) {}

  const std::wstring& path() const { return _path; }
  const TestFolder& folder() const { return _folder; }

  std::vector<std::string> probeArgs() const { return {standInTranscoderPath(), "-i", toUtf8(_path)}; }
  std::vector<std::string> streamArgs(unsigned seconds = 0) const
  {
    return {standInTranscoderPath(), "-ss", std::to_string(seconds), "-i", toUtf8(_path), "-f", "mpegts", "-"};
  }

private:
  TestFolder _folder;
  std::wstring _path;
};
