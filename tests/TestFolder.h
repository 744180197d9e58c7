#pragma once

// A unique scratch folder for tests and benchmarks, its name with a blank
// and non-ASCII letters; removed with everything in it at the end.

#include "Portability.h"

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <string>

inline std::wstring tempFolder()
{
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

inline void removeTree(const std::wstring& folder)
{
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(joinPath(folder, L"*").c_str(), &data);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &data)) {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    std::wstring full = joinPath(folder, name);
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      removeTree(full);
    else
      DeleteFileW(full.c_str());
  }
  FindClose(search);
  RemoveDirectoryW(folder.c_str());
}

class TestFolder {
public:
  explicit TestFolder(const std::wstring& parent = tempFolder())
  {
    static std::atomic<unsigned> serial{0};
    _root = joinPath(parent, L"zv test \u00e9\u65e5 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(serial++));
    CreateDirectoryW(_root.c_str(), nullptr);
  }
  ~TestFolder() { removeTree(_root); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::wstring& root() const { return _root; }
  std::wstring path(const std::wstring& relative) const { return joinPath(_root, relative); }

  // Makes the folder and every missing folder above it.
  std::wstring folder(const std::wstring& relative) const
  {
    std::wstring full = path(relative);
    SHCreateDirectoryExW(nullptr, full.c_str(), nullptr);
    return full;
  }

  // Writes a file, making its folders, and returns its full path.
  std::wstring file(const std::wstring& relative, const std::string& content = "video") const
  {
    std::wstring full = path(relative);
    SHCreateDirectoryExW(nullptr, full.substr(0, full.rfind(L'\\')).c_str(), nullptr);
    FILE* out = _wfopen(full.c_str(), L"wb");
    if (out) {
      fwrite(content.data(), 1, content.size(), out);
      fclose(out);
    }
    return full;
  }

  // The bytes of a file, empty when it cannot be read.
  std::string contents(const std::wstring& relative) const
  {
    std::string bytes;
    FILE* in = _wfopen(path(relative).c_str(), L"rb");
    if (!in)
      return bytes;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof(chunk), in)) > 0;)
      bytes.append(chunk, got);
    fclose(in);
    return bytes;
  }

private:
  std::wstring _root;
};
