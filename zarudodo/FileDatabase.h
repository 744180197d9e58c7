#pragma once

#include "Thread.h"

#include <map>
#include <string>

struct FileRecord {
  std::wstring path;  // full path of the file
  std::wstring name;  // its bare file name
};

// The videos served: bare file name (as devices see it) -> full path. The
// first file added under a name keeps it. Every operation locks.
class FileDatabase {
public:
  void add(const std::wstring& path, const std::wstring& name);
  bool lookup(const std::wstring& name, std::wstring& path);
  void remove(const std::wstring& name);
  // After a complete walk, found holds each name it found with the first
  // path: other names are dropped, a name found elsewhere now (its old file
  // gone, or its folder no longer searched) takes the new path, and a name
  // missing here is added.
  void removeMissing(const std::map<std::wstring, std::wstring>& found);
  // The names as JSON strings separated by commas, without brackets.
  std::string listJson();
  void clear();

private:
  std::map<std::wstring, FileRecord> _entries;
  Mutex _mutex;
};
