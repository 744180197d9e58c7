#pragma once

#include <windows.h>

#include <deque>
#include <set>
#include <string>

// Directory listing: one entry, one directory level, and a depth-first walk
// over a whole tree.
namespace FileSystem {

// Thrown when an exhausted level is asked for another entry.
class Exception {};

class File {
public:
  File();
  File(const WIN32_FIND_DATAW& data, const std::wstring& directory);
  explicit File(const wchar_t* path);
  virtual ~File();

  std::wstring name() const { return _data.cFileName; }
  // The name that reaches the entry in a path: Wine lists Linux names that
  // Windows forbids (holding '?', '|', a control character, or ending in a
  // dot or blank) but opens them only by their alternate 8.3 name.
  std::wstring pathName() const;
  std::wstring directory() const { return _directory; }
  bool exists() const { return _exists; }
  bool isDirectory() const { return (_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool isReadOnly() const { return (_data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0; }
  FILETIME lastWriteTime() const { return _data.ftLastWriteTime; }
  std::wstring extension() const;
  void setReadOnly(bool on);
  void remove();

private:
  std::wstring fullPath() const;

  WIN32_FIND_DATAW _data;
  bool _exists;
  std::wstring _directory;
};

// Lists one directory, whose name must end with a backslash; "." and ".."
// come like any other entry.
class FileEnumerator {
public:
  explicit FileEnumerator(const wchar_t* directory);
  virtual ~FileEnumerator();
  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;

  bool hasNext() const { return _hasMore; }
  File next();

private:
  HANDLE _search;
  WIN32_FIND_DATAW _current;
  bool _hasMore;
  std::wstring _directory;
};

// Walks trees depth-first. Subdirectories are entered, not returned; a
// directory that cannot be listed counts as empty, and one the walk has
// entered before (reached again through a link or junction, or in a later
// tree) is not entered again: its entries came the first time.
class RecursiveFileEnumerator {
public:
  RecursiveFileEnumerator();
  explicit RecursiveFileEnumerator(const wchar_t* directory);
  virtual ~RecursiveFileEnumerator();
  RecursiveFileEnumerator(const RecursiveFileEnumerator&) = delete;
  RecursiveFileEnumerator& operator=(const RecursiveFileEnumerator&) = delete;

  // Walks that directory from the next entry on.
  void add(const wchar_t* directory);
  bool hasNext();
  // An empty File when the walk ended inside directories that could not
  // be listed; hasNext is false after it.
  File next();

private:
  // Who a folder is, however it is reached; unknown when it cannot be opened.
  // Under Wine most file systems have the volume 0 and their indexes repeat:
  // the folder's final path, links resolved, tells them apart.
  struct FolderId {
    bool known;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    std::wstring finalPath;
    bool operator<(const FolderId& other) const;
  };

  static FolderId identify(const std::wstring& directory);
  FileEnumerator* top();

  std::deque<FileEnumerator*> _levels;  // owned
  std::set<FolderId> _entered;
};

}
