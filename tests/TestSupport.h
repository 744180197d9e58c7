#pragma once

// Helpers shared by the test programs: a log sink and a debug output that
// record lines from any thread, counts of our threads and child processes, a
// deadline for tests that could hang, a stopwatch, and the scratch folders
// of TestFolder.h.

#include "Debug.h"
#include "Log.h"
#include "TestFolder.h"

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Lines recorded from any thread, each under a key. A hook, when set, sees
// each line on the recording thread before it is recorded.
class LineRecorder {
public:
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

  std::function<void(const std::string&)> hook;

protected:
  void add(const char* key, const char* text)
  {
    if (hook)
      hook(text);
    std::lock_guard<std::mutex> lock(_mutex);
    _lines.emplace_back(key, text);
  }

private:
  std::mutex _mutex;
  std::vector<std::pair<std::string, std::string>> _lines;
};

// Installs itself as the log sink for its lifetime.
class LogRecorder : public LineRecorder {
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

private:
  static void record(const char* key, const char* text) { _current->add(key, text); }
  static inline LogRecorder* _current = nullptr;
};

// Installs itself as the debug output, with one category switched on, for
// its lifetime; then the heap's category alone is on again.
class DebugRecorder : public LineRecorder {
public:
  explicit DebugRecorder(int category) : _categories{category, 0}
  {
    _current = this;
    setDebugOutput(record);
    setDebugCategories(_categories);
  }
  ~DebugRecorder()
  {
    static const int DEFAULTS[] = {99, 0};
    setDebugCategories(DEFAULTS);
    setDebugOutput(nullptr);
    _current = nullptr;
  }

private:
  static void record(const char* line) { _current->add("", line); }
  static inline DebugRecorder* _current = nullptr;
  int _categories[2];
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

// 0 when the process cannot be asked.
inline ULONGLONG processCreationTime(DWORD id)
{
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (!process)
    return 0;
  FILETIME created, exited, kernel, user;
  BOOL known = GetProcessTimes(process, &created, &exited, &kernel, &user);
  CloseHandle(process);
  return known ? (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime : 0;
}

// Visits the children of a process that the system still knows. Ids are
// reused at once, so a process older than the parent was the child of an
// earlier holder of its id.
inline void forEachChildOf(DWORD parent, const std::function<void(DWORD)>& visit)
{
  ULONGLONG parentCreated = processCreationTime(parent);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != parent)
      continue;
    ULONGLONG created = processCreationTime(entry.th32ProcessID);
    if (!(created && parentCreated && created < parentCreated))
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

// Runs a program of the Unix side of Wine in the given folder and waits
// until the condition holds: Wine starts Linux programs directly, but gives
// no handle to wait on.
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

// Ends the test program with a failure when the test it guards outlives
// its time: a hang then costs that time, not CTest's two minutes. Our
// children go first, or one holding our output would keep CTest waiting.
class Deadline {
public:
  explicit Deadline(DWORD milliseconds)
      : _milliseconds(milliseconds), _done(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        _watcher(CreateThread(nullptr, 0, watch, this, 0, nullptr))
  {
  }
  ~Deadline()
  {
    SetEvent(_done);
    WaitForSingleObject(_watcher, INFINITE);
    CloseHandle(_watcher);
    CloseHandle(_done);
  }

private:
  static DWORD WINAPI watch(void* self)
  {
    Deadline* deadline = static_cast<Deadline*>(self);
    if (WaitForSingleObject(deadline->_done, deadline->_milliseconds) != WAIT_TIMEOUT)
      return 0;
    forEachChildOf(GetCurrentProcessId(), [](DWORD id) {
      HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, id);
      TerminateProcess(child, 1);
      CloseHandle(child);
    });
    fprintf(stderr, "Still running after %lu ms: the test program fails.\n", deadline->_milliseconds);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
  }

  DWORD _milliseconds;
  HANDLE _done;
  HANDLE _watcher;
};

inline long long millisecondsSince(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
