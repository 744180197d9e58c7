#pragma once

// Helpers shared by the test programs: scratch folder trees on disk and a
// log sink that records lines from any thread.

#include "Log.h"
#include "Portability.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A uniquely named folder under the temporary folder, whose name holds a
// blank and non-ASCII letters; removed with everything in it at the end.
class ScratchTree {
public:
  explicit ScratchTree(const wchar_t* tag)
  {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int count = 0;
    _root = joinPath(temp, std::wstring(tag) + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++count) + L" \u00e9\u65e5");
    CreateDirectoryW(_root.c_str(), nullptr);
  }
  ~ScratchTree() { removeTree(_root); }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  const std::wstring& root() const { return _root; }
  std::wstring path(const std::wstring& relative) const { return joinPath(_root, relative); }

  // Makes the folder and every missing folder above it.
  std::wstring folder(const std::wstring& relative) const
  {
    std::wstring full = path(relative);
    for (size_t slash = _root.size() + 1; slash != std::wstring::npos; slash = full.find(L'\\', slash + 1))
      CreateDirectoryW(full.substr(0, slash).c_str(), nullptr);
    CreateDirectoryW(full.c_str(), nullptr);
    return full;
  }

  std::wstring file(const std::wstring& relative, const std::string& content = "video") const
  {
    size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos)
      folder(relative.substr(0, slash));
    std::wstring full = path(relative);
    FILE* out = _wfopen(full.c_str(), L"wb");
    if (out) {
      fwrite(content.data(), 1, content.size(), out);
      fclose(out);
    }
    return full;
  }

  static void removeTree(const std::wstring& folder)
  {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(joinPath(folder, L"*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
          continue;
        std::wstring full = joinPath(folder, name);
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          removeTree(full);
        else
          DeleteFileW(full.c_str());
      } while (FindNextFileW(search, &data));
      FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
  }

private:
  std::wstring _root;
};

// Installs itself as the log sink for its lifetime. A hook, when set, sees
// each line on the logging thread before it is recorded.
class LogRecorder {
public:
  LogRecorder()
  {
    _current = this;
    LogSetSink(record);
  }
  ~LogRecorder()
  {
    LogSetSink(nullptr);
    _current = nullptr;
  }

  std::vector<std::string> lines(const std::string& key = "")
  {
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<std::string> selected;
    for (const auto& line : _lines)
      if (key.empty() || line.first == key)
        selected.push_back(line.second);
    return selected;
  }

  int count(const std::string& text)
  {
    int found = 0;
    for (const auto& line : lines())
      found += line == text;
    return found;
  }

  void clear()
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _lines.clear();
  }

  std::function<void(const std::string&)> hook;

private:
  static void record(const char* key, const char* text)
  {
    LogRecorder* self = _current;
    if (self->hook)
      self->hook(text);
    std::lock_guard<std::mutex> lock(self->_mutex);
    self->_lines.emplace_back(key, text);
  }

  static inline LogRecorder* _current = nullptr;
  std::mutex _mutex;
  std::vector<std::pair<std::string, std::string>> _lines;
};

// Threads of this process that the system still knows.
inline int countThreads()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}
