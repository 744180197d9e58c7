#include "Clipboard.h"

#include "DebugHeap.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

HGLOBAL makeClipboardBlock(const void* first, size_t firstSize, const void* second, size_t secondSize)
{
  if (secondSize > SIZE_MAX - firstSize)
    return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, firstSize + secondSize);
  if (!block)
    return nullptr;
  char* data = static_cast<char*>(GlobalLock(block));
  if (!data) {
    GlobalFree(block);
    return nullptr;
  }
  memcpy(data, first, firstSize);
  if (secondSize)
    memcpy(data + firstSize, second, secondSize);
  GlobalUnlock(block);
  return block;
}

bool putOnClipboard(HWND owner, UINT format, HGLOBAL block)
{
  if (!block)
    return false;
  bool done = false;
  if (OpenClipboard(owner)) {
    done = EmptyClipboard() && SetClipboardData(format, block);
    CloseClipboard();
  }
  if (!done)
    GlobalFree(block);
  return done;
}

bool setClipboardText(HWND owner, const wchar_t* text, int length)
{
  static const wchar_t terminator = 0;
  size_t bytes = (length < 0 ? wcslen(text) : static_cast<size_t>(length)) * sizeof(wchar_t);
  return putOnClipboard(owner, CF_UNICODETEXT, makeClipboardBlock(text, bytes, &terminator, sizeof terminator));
}

wchar_t* getClipboardText(HWND owner)
{
  if (!OpenClipboard(owner))
    return nullptr;
  wchar_t* copy = nullptr;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data) {
    const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data));
    // Another program's text need not end in a zero inside its block.
    if (text)
      copy = DEBUG_WCSDUP(std::wstring(text, wcsnlen(text, GlobalSize(data) / sizeof(wchar_t))).c_str());
    GlobalUnlock(data);
  }
  CloseClipboard();
  return copy;
}
