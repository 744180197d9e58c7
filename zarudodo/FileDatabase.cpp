#include "FileDatabase.h"

#include "Log.h"
#include "StringUtil.h"
#include "json.h"

namespace {
const int LOG_KEY = LogRegisterKey("L_FileDb", true);
}

void FileDatabase::add(const std::wstring& path, const std::wstring& name)
{
  ScopedLock lock(&_mutex);
  LogPrintf(LOG_KEY, "    Adding %s", Utf8FromWide(path).get());
  _entries.insert({name, FileRecord{path, name}});
}

bool FileDatabase::lookup(const std::wstring& name, std::wstring& path)
{
  ScopedLock lock(&_mutex);
  auto found = _entries.find(name);
  if (found == _entries.end()) {
    LogPrintf(LOG_KEY, "Error: Could not map '%s' to real file", Utf8FromWide(name).get());
    return false;
  }
  LogPrintf(LOG_KEY, "Mapped to file %s", Utf8FromWide(found->second.path).get());
  path = found->second.path;
  return true;
}

void FileDatabase::remove(const std::wstring& name)
{
  ScopedLock lock(&_mutex);
  auto found = _entries.find(name);
  if (found == _entries.end())
    return;
  LogPrintf(LOG_KEY, "    Removed %s", Utf8FromWide(found->second.path).get());
  _entries.erase(found);
}

void FileDatabase::removeMissing(const std::map<std::wstring, std::wstring>& found)
{
  ScopedLock lock(&_mutex);
  for (auto entry = _entries.begin(); entry != _entries.end();) {
    auto now = found.find(entry->first);
    if (now == found.end()) {
      LogPrintf(LOG_KEY, "    Removed %s", Utf8FromWide(entry->second.path).get());
      entry = _entries.erase(entry);
      continue;
    }
    if (now->second != entry->second.path) {
      LogPrintf(LOG_KEY, "    Moved %s to %s", Utf8FromWide(entry->second.path).get(), Utf8FromWide(now->second).get());
      entry->second.path = now->second;
    }
    ++entry;
  }
  // A request removes a name whose listed file has gone, also one that the
  // walk has already found in its new place.
  for (const auto& name : found) {
    if (_entries.insert({name.first, FileRecord{name.second, name.first}}).second)
      LogPrintf(LOG_KEY, "    Adding %s", Utf8FromWide(name.second).get());
  }
}

std::string FileDatabase::listJson()
{
  ScopedLock lock(&_mutex);
  std::string list;
  for (const auto& entry : _entries) {
    if (!list.empty())
      list += ',';
    list += '"' + jsonEscapeWide(entry.first) + '"';
  }
  return list;
}

void FileDatabase::clear()
{
  ScopedLock lock(&_mutex);
  _entries.clear();
  LogPrintf(LOG_KEY, "Cleared FileDatabase");
}
