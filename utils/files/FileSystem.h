#pragma once

#include <windows.h>

#include <deque>
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

// Walks a tree depth-first. Subdirectories are entered, not returned; a
// directory that cannot be listed counts as empty, and one already being
// walked (reached again through a link or junction) is not entered again.
class RecursiveFileEnumerator {
public:
  explicit RecursiveFileEnumerator(const wchar_t* directory);
  virtual ~RecursiveFileEnumerator();
  RecursiveFileEnumerator(const RecursiveFileEnumerator&) = delete;
  RecursiveFileEnumerator& operator=(const RecursiveFileEnumerator&) = delete;

  bool hasNext();
  // An empty File when the walk ended inside directories that could not
  // be listed; hasNext is false after it.
  File next();

private:
  // Who a folder is, however it is reached; unknown when it cannot be opened.
  struct FolderId {
    bool known;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const FolderId& other) const;
  };
  struct Level {
    FileEnumerator* enumerator;  // owned
    FolderId id;
  };

  static FolderId identify(const std::wstring& directory);
  void enter(const std::wstring& directory);
  bool isBeingWalked(const FolderId& id) const;
  FileEnumerator* top();

  std::deque<Level> _levels;
};

}
