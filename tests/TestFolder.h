#pragma once

// A unique scratch folder for tests, its name with a blank and non-ASCII
// letters; removed with everything in it at the end.

#include "Portability.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

inline std::wstring tempFolder()
{
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

inline void removeTree(const std::wstring& path)
{
  FolderReader reader(path);
  std::wstring name;
  while (reader.next(name)) {
    if (name == L"." || name == L"..")
      continue;
    std::wstring child = joinPath(path, name);
    if (GetFileAttributesW(child.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
      removeTree(child);
    else
      DeleteFileW(child.c_str());
  }
  reader.close();
  RemoveDirectoryW(path.c_str());
}

class TestFolder {
public:
  explicit TestFolder(const std::wstring& parent = tempFolder())
  {
    static std::atomic<unsigned> serial{0};
    _path = joinPath(parent, L"zv test \u00e9t\u00e9\u65e5 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(serial++));
    CreateDirectoryW(_path.c_str(), nullptr);
  }
  ~TestFolder() { removeTree(_path); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::wstring& path() const { return _path; }

  // Writes a file (its folders must exist) and returns its full path.
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
