#include "FileSystem.h"

#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"

#include <tuple>

namespace {

const int LOG_KEY = LogRegisterKey("L_FileSystem", true);

bool isForbiddenName(const std::wstring& name)
{
  for (wchar_t c : name) {
    if (c < L' ' || wcschr(L"?*\"<>|\\", c))
      return true;
  }
  return !name.empty() && (name.back() == L'.' || name.back() == L' ') && name != L"." && name != L"..";
}

}

namespace FileSystem {

File::File() : _data(), _exists(false) {}

File::File(const WIN32_FIND_DATAW& data, const std::wstring& directory)
    : _data(data), _exists(false), _directory(directory) {}

File::File(const wchar_t* path) : _data(), _exists(false)
{
  HANDLE search = FindFirstFileW(path, &_data);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    _exists = true;
  } else {
    _data = WIN32_FIND_DATAW();
  }
  std::wstring text(path);
  size_t slash = text.rfind(L'\\');
  if (slash != std::wstring::npos)
    _directory = text.substr(0, slash);
}

File::~File() {}

std::wstring File::extension() const
{
  return getExtension(name());
}

std::wstring File::pathName() const
{
  if (_data.cAlternateFileName[0] && isForbiddenName(name()))
    return _data.cAlternateFileName;
  return name();
}

// Joined rather than concatenated: a File made from a path keeps its
// directory without the trailing backslash.
std::wstring File::fullPath() const
{
  return joinPath(_directory, pathName());
}

void File::setReadOnly(bool on)
{
  if (isReadOnly() == on)
    return;
  SetFileAttributesW(fullPath().c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
  if (on)
    _data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  else
    _data.dwFileAttributes &= ~FILE_ATTRIBUTE_READONLY;
}

void File::remove()
{
  setReadOnly(false);
  DeleteFileW(fullPath().c_str());
  _exists = false;
}

FileEnumerator::FileEnumerator(const wchar_t* directory) : _current(), _directory(directory)
{
  _search = FindFirstFileW((_directory + L"*.*").c_str(), &_current);
  _hasMore = _search != INVALID_HANDLE_VALUE;
}

FileEnumerator::~FileEnumerator()
{
  if (_search != INVALID_HANDLE_VALUE)
    FindClose(_search);
}

File FileEnumerator::next()
{
  if (!_hasMore)
    throw Exception();
  File entry(_current, _directory);
  _hasMore = FindNextFileW(_search, &_current) != 0;
  return entry;
}

RecursiveFileEnumerator::RecursiveFileEnumerator() {}

RecursiveFileEnumerator::RecursiveFileEnumerator(const wchar_t* directory)
{
  add(directory);
}

RecursiveFileEnumerator::~RecursiveFileEnumerator()
{
  for (FileEnumerator* level : _levels)
    delete level;
}

bool RecursiveFileEnumerator::FolderId::operator<(const FolderId& other) const
{
  return std::tie(volume, indexHigh, indexLow, finalPath) <
         std::tie(other.volume, other.indexHigh, other.indexLow, other.finalPath);
}

RecursiveFileEnumerator::FolderId RecursiveFileEnumerator::identify(const std::wstring& directory)
{
  FolderId id = {};
  HANDLE folder = CreateFileW(directory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE)
    return id;
  BY_HANDLE_FILE_INFORMATION info;
  wchar_t finalPath[MAX_PATH];
  DWORD length = GetFinalPathNameByHandleW(folder, finalPath, MAX_PATH, FILE_NAME_NORMALIZED);
  if (GetFileInformationByHandle(folder, &info))
    id = {true, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
          std::wstring(finalPath, length < MAX_PATH ? length : 0)};
  CloseHandle(folder);
  return id;
}

void RecursiveFileEnumerator::add(const wchar_t* directory)
{
  FolderId id = identify(directory);
  if (id.known && !_entered.insert(id).second) {
    LogPrintf(LOG_KEY, "Not entering %s again: the walk has been there", Utf8FromWide(directory).get());
    return;
  }
  _levels.push_back(new FileEnumerator(directory));
}

FileEnumerator* RecursiveFileEnumerator::top()
{
  while (!_levels.empty()) {
    if (_levels.back()->hasNext())
      return _levels.back();
    delete _levels.back();
    _levels.pop_back();
  }
  return nullptr;
}

bool RecursiveFileEnumerator::hasNext()
{
  return top() != nullptr;
}

File RecursiveFileEnumerator::next()
{
  for (FileEnumerator* level = top(); level; level = top()) {
    File entry = level->next();
    std::wstring name = entry.name();
    if (!entry.isDirectory() || name == L"." || name == L"..")
      return entry;
    add((entry.directory() + entry.pathName() + L"\\").c_str());
  }
  return File();
}

}
