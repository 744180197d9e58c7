#pragma once

// What the image and its file routines share; not for callers.

#include <windows.h>

extern const int DIB_IMAGE_LOG_KEY;  // "D_DibImage"

inline int bytesPerRow(int width, int bitsPerPixel)
{
  return ((bitsPerPixel * width + 31) / 32) * 4;
}

inline BYTE redOf(COLORREF c) { return GetRValue(c); }
inline BYTE greenOf(COLORREF c) { return GetGValue(c); }
inline BYTE blueOf(COLORREF c) { return GetBValue(c); }
