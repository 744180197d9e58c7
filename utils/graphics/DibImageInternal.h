#pragma once

#include <windows.h>

extern const int DIB_IMAGE_LOG_KEY;

namespace {

int bytesPerRow(int width, int bitsPerPixel)
{
  return ((bitsPerPixel * width + 31) / 32) * 4;
}

BYTE redOf(COLORREF c) { return GetRValue(c); }
BYTE greenOf(COLORREF c) { return GetGValue(c); }
BYTE blueOf(COLORREF c) { return GetBValue(c); }

}
