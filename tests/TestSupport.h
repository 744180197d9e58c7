#pragma once

// Helpers shared by the test programs, and the scratch folders of TestFolder.h.

#include "Log.h"
#include "TestDeadline.h"
#include "TestFolder.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The log sink for its lifetime: records each line under its key, from any
// thread. A hook, when set, sees each line on the logging thread first.
// Removing a sink does not wait for a line in flight, so a recorder must
// outlive every thread that logs.
class LogRecorder {
public:
  LogRecorder()
  {
    _current = this;
    LogSetSink([](const char* key, const char* text) { _current->add(key, text); });
  }
  ~LogRecorder() { LogSetSink(nullptr); }

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
    std::vector<std::string> all = lines();
    return static_cast<int>(std::count(all.begin(), all.end(), text));
  }

  std::function<void(const std::string&)> hook;

private:
  void add(const char* key, const char* text)
  {
    if (hook)
      hook(text);
    std::lock_guard<std::mutex> lock(_mutex);
    _lines.emplace_back(key, text);
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

// Visits the children of a process that the system still knows. Ids are
// reused at once, so a process older than the parent was the child of an
// earlier holder of its id (a creation time of 0: not known).
inline void forEachChildOf(DWORD parent, const std::function<void(DWORD)>& visit)
{
  auto created = [](DWORD id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    FILETIME times[4] = {};
    if (process && !GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3]))
      times[0] = FILETIME();
    CloseHandle(process);
    return (static_cast<ULONGLONG>(times[0].dwHighDateTime) << 32) | times[0].dwLowDateTime;
  };
  ULONGLONG parentCreated = created(parent);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != parent)
      continue;
    ULONGLONG childCreated = created(entry.th32ProcessID);
    if (!(childCreated && parentCreated && childCreated < parentCreated))
      visit(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
}

inline unsigned countChildrenOf(DWORD parent)
{
  unsigned count = 0;
  forEachChildOf(parent, [&](DWORD) { ++count; });
  return count;
}

inline unsigned countOwnChildren()
{
  return countChildrenOf(GetCurrentProcessId());
}

// Runs a Unix program in the given folder and waits until the condition
// holds: Wine gives no handle to wait on.
inline bool runUnixCommand(const wchar_t* program, std::wstring commandLine, const std::wstring& folder,
                           const std::function<bool()>& until)
{
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 500 && !until(); ++i)
    Sleep(10);
  return until();
}

inline long long millisecondsSince(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
