#include "Paths.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

const DWORD MODULE_PATH_SIZE = 2048;

bool isAbsolute(const std::wstring& path)
{
  return (!path.empty() && path[0] == L'\\') || (path.size() >= 2 && path[1] == L':');
}

const wchar_t PATH_TRIM[] = L" \t\"";

std::wstring stripQuotes(const wchar_t* path)
{
  std::wstring text(path);
  size_t first = text.find_first_not_of(PATH_TRIM);
  if (first == std::wstring::npos)
    return std::wstring();
  return text.substr(first, text.find_last_not_of(PATH_TRIM) + 1 - first);
}

// Where the file name of a path starts.
const wchar_t* fileNameOf(const wchar_t* path)
{
  const wchar_t* name = path;
  for (const wchar_t* c = path; *c; c++) {
    if (*c == L'\\' || *c == L'/' || *c == L':')
      name = c + 1;
  }
  return name;
}

}

std::wstring joinPath(const std::wstring& dir, const std::wstring& name)
{
  if (isAbsolute(name))
    return name;
  if (!dir.empty() && dir.back() != L'\\')
    return dir + L'\\' + name;
  return dir + name;
}

std::wstring joinPath(const std::wstring& a, const std::wstring& b, const std::wstring& c)
{
  return joinPath(joinPath(a, b), c);
}

int findFileNameStart(const wchar_t* path)
{
  if (!path)
    return -1;
  const wchar_t* slash = wcsrchr(path, L'\\');
  return slash ? static_cast<int>(slash - path) + 1 : -1;
}

std::wstring getDirectory(const std::wstring& path)
{
  int start = findFileNameStart(path.c_str());
  return start < 0 ? std::wstring() : path.substr(0, start);
}

std::wstring getFileName(const std::wstring& path)
{
  int start = findFileNameStart(path.c_str());
  return start < 0 ? path : path.substr(start);
}

int stripFileName(wchar_t* path)
{
  int end = std::max(findFileNameStart(path), 0);
  path[end] = 0;
  return end;
}

void appendBackslash(wchar_t* path)
{
  size_t length = wcslen(path);
  if (length == 0 || path[length - 1] != L'\\')
    wcscpy(path + length, L"\\");
}

void removeBackslash(wchar_t* path)
{
  size_t length = wcslen(path);
  if (length > 0 && path[length - 1] == L'\\')
    path[length - 1] = 0;
}

std::wstring getExtension(const std::wstring& path)
{
  size_t dot = path.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : path.substr(dot + 1);
}

std::wstring stripExtension(const std::wstring& path)
{
  size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || path.find(L'\\', dot) != std::wstring::npos)
    return path;
  return path.substr(0, dot);
}

int findExtension(const wchar_t* path)
{
  if (!path)
    return -1;
  const wchar_t* dot = wcsrchr(fileNameOf(path), L'.');
  return dot ? static_cast<int>(dot - path) + 1 : -1;
}

bool hasExtension(const wchar_t* path, const wchar_t* ext)
{
  int at = findExtension(path);
  if (at < 0)
    return *ext == 0;
  return _wcsicmp(path + at, ext) == 0;
}

std::wstring makeFullPath(const wchar_t* path)
{
  std::wstring bare = stripQuotes(path);
  if (bare.empty())
    return bare;
  DWORD size = GetFullPathNameW(bare.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  DWORD length = size ? GetFullPathNameW(bare.c_str(), size, &full[0], nullptr) : 0;
  if (length == 0 || length >= size)
    return bare;
  full.resize(length);
  return full;
}

void splitPath(const wchar_t* path, std::wstring* folder, std::wstring* file)
{
  if (folder)
    folder->clear();
  if (file)
    file->clear();
  if (!path)
    return;
  std::wstring bare = stripQuotes(path);
  int start = findFileNameStart(bare.c_str());
  if (file)
    *file = bare.substr(start < 0 ? 0 : start);
  if (folder && start > 0) {
    int end = start - 1;
    bool root = end == 0 || (end == 2 && bare[1] == L':');
    *folder = bare.substr(0, root ? start : end);
  }
}

std::wstring getModulePath()
{
  wchar_t path[MODULE_PATH_SIZE];
  DWORD length = GetModuleFileNameW(nullptr, path, MODULE_PATH_SIZE);
  return std::wstring(path, length < MODULE_PATH_SIZE ? length : 0);
}

int getModuleDirectory(wchar_t* buffer, int size)
{
  std::wstring folder = getDirectory(getModulePath());
  if (folder.empty() || folder.size() >= static_cast<size_t>(size))
    return 0;
  wcscpy(buffer, folder.c_str());
  return static_cast<int>(folder.size());
}

void setWorkingDirectoryToModule()
{
  wchar_t folder[520];
  if (getModuleDirectory(folder, 520))
    SetCurrentDirectoryW(folder);
}
