#include "DurationCache.h"

#include <windows.h>

// The stamp is taken before the lock: a stalled disk must not hold every
// other playlist request.
DurationCache::Answer DurationCache::find(const std::wstring& path, int* milliseconds)
{
  Stamp stamp;
  bool stamped = stampOf(path, &stamp);
  ScopedLock lock(&_mutex);
  waitForProbe(path);
  auto found = _entries.find(path);
  if (stamped && found != _entries.end() && found->second.stamp == stamp) {
    *milliseconds = found->second.milliseconds;
    return found->second.failed ? FAILED : KNOWN;
  }
  _probing[path];
  return UNKNOWN;
}

void DurationCache::store(const std::wstring& path, int milliseconds)
{
  Entry entry{Stamp(), milliseconds, false};
  finishProbe(path, stampOf(path, &entry.stamp) ? &entry : nullptr);
}

void DurationCache::storeFailure(const std::wstring& path)
{
  Entry entry{Stamp(), 0, true};
  finishProbe(path, stampOf(path, &entry.stamp) ? &entry : nullptr);
}

void DurationCache::abandon(const std::wstring& path)
{
  finishProbe(path, nullptr);
}

void DurationCache::forgetFailures()
{
  ScopedLock lock(&_mutex);
  for (auto it = _entries.begin(); it != _entries.end();)
    it = it->second.failed ? _entries.erase(it) : ++it;
}

void DurationCache::finishProbe(const std::wstring& path, const Entry* entry)
{
  ScopedLock lock(&_mutex);
  if (entry)
    _entries[path] = *entry;
  auto probing = _probing.find(path);
  if (probing == _probing.end())
    return;
  for (Event* waiting : probing->second)
    waiting->set();
  _probing.erase(probing);
}

// A woken request looks again: another may have become the prober meanwhile.
void DurationCache::waitForProbe(const std::wstring& path)
{
  for (auto probing = _probing.find(path); probing != _probing.end(); probing = _probing.find(path)) {
    Event done;
    probing->second.push_back(&done);
    done.wait(_mutex, __FILE__, __LINE__);
  }
}

bool DurationCache::stampOf(const std::wstring& path, Stamp* stamp)
{
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return false;
  stamp->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return true;
}
