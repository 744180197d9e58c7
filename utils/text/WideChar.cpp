#include "WideChar.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace {

template <typename Char>
Char* copyOf(const Char* text, size_t length)
{
  Char* copy = new Char[length + 1];
  memcpy(copy, text, length * sizeof(Char));
  copy[length] = 0;
  return copy;
}

// Runs convert(buffer, capacity) -> characters written or 0; when the first
// buffer is too small, measures with convert(nullptr, 0) and converts again.
template <typename Char, typename Conversion>
Char* convertCodePage(size_t guess, Conversion convert)
{
  Char* buffer = new Char[guess + 1];
  int written = convert(buffer, static_cast<int>(guess));
  if (written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    delete[] buffer;
    int needed = convert(nullptr, 0);
    buffer = new Char[needed + 1];
    written = needed > 0 ? convert(buffer, needed) : 0;
  }
  if (written == 0) {
    delete[] buffer;
    throw std::bad_alloc();
  }
  buffer[written] = 0;
  return buffer;
}

}

WideFromAnsi::WideFromAnsi(const char* ansi)
{
  int length = ansi ? static_cast<int>(strlen(ansi)) : 0;
  if (length == 0) {
    _buffer = copyOf(L"", 0);
    return;
  }
  _buffer = convertCodePage<wchar_t>(length, [=](wchar_t* out, int capacity) {
    return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi, length, out, capacity);
  });
}

WideFromAnsi::WideFromAnsi(const wchar_t* text) : _buffer(copyOf(text ? text : L"", text ? wcslen(text) : 0)) {}

WideFromAnsi::~WideFromAnsi()
{
  delete[] _buffer;
}

AnsiFromWide::AnsiFromWide(const wchar_t* text)
{
  int length = text ? static_cast<int>(wcslen(text)) : 0;
  if (length == 0) {
    _buffer = copyOf("", 0);
    return;
  }
  _buffer = convertCodePage<char>(length, [=](char* out, int capacity) {
    return WideCharToMultiByte(CP_ACP, 0, text, length, out, capacity, nullptr, nullptr);
  });
}

AnsiFromWide::AnsiFromWide(const char* ansi) : _buffer(copyOf(ansi ? ansi : "", ansi ? strlen(ansi) : 0)) {}

AnsiFromWide::~AnsiFromWide()
{
  delete[] _buffer;
}

std::wstring wideFromFileText(const std::string& bytes)
{
  const std::string BYTE_ORDER_MARK = UTF8_BYTE_ORDER_MARK;
  bool marked = bytes.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0;
  const char* text = bytes.data() + (marked ? BYTE_ORDER_MARK.size() : 0);
  int length = static_cast<int>(bytes.size() - (marked ? BYTE_ORDER_MARK.size() : 0));
  bool utf8 = marked || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0) > 0;
  UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  std::wstring wide(MultiByteToWideChar(codePage, 0, text, length, nullptr, 0), L'\0');
  if (!wide.empty())
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], static_cast<int>(wide.size()));
  return wide;
}
