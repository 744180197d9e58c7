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
  const char* place(const std::string& bytes) { return placeBytes(bytes.data(), bytes.size()); }
  // The text and its terminating zero, with nothing after them.
  const char* placeText(const std::string& text) { return placeBytes(text.c_str(), text.size() + 1); }
  const wchar_t* placeText(const std::wstring& text)
  {
    return reinterpret_cast<const wchar_t*>(placeBytes(text.c_str(), 2 * (text.size() + 1)));
  }

private:
  const char* placeBytes(const void* bytes, size_t size)
  {
    if (size > _pageSize)
      throw std::length_error("more than a page");
    return static_cast<char*>(memcpy(_base + _pageSize - size, bytes, size));
  }

  char* _base;
  size_t _pageSize;
};
