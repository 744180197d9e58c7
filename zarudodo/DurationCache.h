#pragma once

#include "Thread.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The lengths of videos already probed, so that asking for a playlist again
// starts no transcoder. A file whose size or last write changed since is
// probed again; so is one whose probe failed, once failures are forgotten.
// One request probes a file at a time: others asking for it meanwhile wait
// for its result. Every operation locks.
class DurationCache {
public:
  enum Answer {
    KNOWN,    // *milliseconds holds the length
    FAILED,   // the file as it is now could not be probed
    UNKNOWN,  // the caller is the file's prober now: it ends with store, storeFailure or abandon
  };

  Answer find(const std::wstring& path, int* milliseconds);
  void store(const std::wstring& path, int milliseconds);
  void storeFailure(const std::wstring& path);
  // The prober could not probe: the next one asking probes.
  void abandon(const std::wstring& path);
  // A scan is how a user asks to look again: failed files get another probe.
  void forgetFailures();

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
    bool failed;
  };

  static bool stampOf(const std::wstring& path, Stamp* stamp);
  void finishProbe(const std::wstring& path, const Entry* entry);
  void waitForProbe(const std::wstring& path);

  std::map<std::wstring, Entry> _entries;
  std::map<std::wstring, std::vector<Event*>> _probing;  // path -> the requests waiting for its probe
  Mutex _mutex;
};
