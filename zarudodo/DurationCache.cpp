#include "DurationCache.h"

#include <windows.h>

bool DurationCache::find(const std::wstring& path, int* milliseconds)
{
  Stamp stamp;
  if (!stampOf(path, &stamp))
    return false;
  ScopedLock lock(&_mutex);
  auto found = _entries.find(path);
  if (found == _entries.end() || !(found->second.stamp == stamp))
    return false;
  *milliseconds = found->second.milliseconds;
  return true;
}

void DurationCache::store(const std::wstring& path, int milliseconds)
{
  Stamp stamp;
  if (!stampOf(path, &stamp))
    return;
  ScopedLock lock(&_mutex);
  _entries[path] = Entry{stamp, milliseconds};
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
