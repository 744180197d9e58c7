#pragma once

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>

// Places bytes at the very end of a readable page followed by an
// inaccessible one, so that reading one byte too far faults.
class PageEdge {
public:
  PageEdge()
  {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    _pageSize = info.dwPageSize;
    _base = static_cast<char*>(VirtualAlloc(nullptr, 2 * _pageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(_base + _pageSize, _pageSize, PAGE_NOACCESS, &old);
  }
  ~PageEdge() { VirtualFree(_base, 0, MEM_RELEASE); }
  PageEdge(const PageEdge&) = delete;
  PageEdge& operator=(const PageEdge&) = delete;

  // The bytes as they are, with nothing after them.
  const char* place(const std::string& bytes)
  {
    if (bytes.size() > _pageSize)
      throw std::length_error("more than a page");
    char* at = _base + _pageSize - bytes.size();
    memcpy(at, bytes.data(), bytes.size());
    return at;
  }

  // The text and its NUL, with nothing after them.
  const char* placeText(const std::string& text) { return place(std::string(text.c_str(), text.size() + 1)); }

private:
  char* _base;
  size_t _pageSize;
};
