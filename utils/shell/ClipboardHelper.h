#pragma once

#include <windows.h>

class DibImage;

// Unicode text and DIBs onto the clipboard, bitmaps off it. Each operation
// opens and closes the clipboard itself, with the given window as its owner
// meanwhile. The data is made ready before the clipboard is emptied, so a
// copy that cannot be made leaves the user's clipboard as it was.
class ClipboardHelper {
public:
  static bool isFormatAvailable(UINT format);
  static bool setText(HWND owner, const wchar_t* text, int length);
  // The header is followed by its masks and colour table, as in a BITMAPINFO.
  static bool setDib(HWND owner, const BITMAPINFOHEADER* header, const void* pixels);
  static bool setImage(HWND owner, DibImage* image);
  // A new image that the caller owns, or null.
  static DibImage* getBitmap(HWND owner);
};
