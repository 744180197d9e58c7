#pragma once

#include "Thread.h"

#include <cstdint>
#include <map>
#include <string>

// The lengths of videos already probed, so that asking for a playlist again
// starts no transcoder. A file whose size or last write changed since is
// probed again. Every operation locks.
class DurationCache {
public:
  bool find(const std::wstring& path, int* milliseconds);
  void store(const std::wstring& path, int milliseconds);

private:
  // What tells one version of a file from another.
  struct Stamp {
    uint64_t size = 0;
    uint64_t written = 0;
    bool operator==(const Stamp& other) const { return size == other.size && written == other.written; }
  };
  struct Entry {
    Stamp stamp;
    int milliseconds;
  };

  static bool stampOf(const std::wstring& path, Stamp* stamp);

  std::map<std::wstring, Entry> _entries;
  Mutex _mutex;
};
