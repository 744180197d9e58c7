#include "ClipboardHelper.h"

#include "DibImage.h"
#include "Log.h"

#include <cstdint>
#include <cstring>

namespace {

const int LOG_KEY = LogRegisterKey("D_ClipboardHelper", false);

// A movable block holding first and then second, or null.
HGLOBAL makeBlock(const void* first, size_t firstSize, const void* second, size_t secondSize)
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

// Replaces the clipboard's content by the block, which it then owns; the
// block is freed when that fails.
bool putOnClipboard(HWND owner, UINT format, HGLOBAL block)
{
  if (!block) {
    LogPrintf(LOG_KEY, "No memory for the clipboard's data.");
    return false;
  }
  bool done = false;
  if (OpenClipboard(owner)) {
    done = EmptyClipboard() && SetClipboardData(format, block);
    CloseClipboard();
  }
  if (!done) {
    LogPrintf(LOG_KEY, "Could not set the clipboard's data: error %lu.", GetLastError());
    GlobalFree(block);
  }
  return done;
}

size_t dibPixelBytes(const BITMAPINFOHEADER* header)
{
  if (header->biSizeImage)
    return header->biSizeImage;
  size_t rowBits = static_cast<size_t>(header->biWidth) * header->biBitCount * header->biPlanes;
  size_t rowBytes = (rowBits + 31) / 32 * 4;
  LONG rows = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  return rowBytes * rows;
}

}

bool ClipboardHelper::isFormatAvailable(UINT format)
{
  return IsClipboardFormatAvailable(format) == TRUE;
}

bool ClipboardHelper::setText(HWND owner, const wchar_t* text, int length)
{
  if (length < 0)
    return false;
  static const wchar_t terminator = 0;
  size_t bytes = static_cast<size_t>(length) * sizeof(wchar_t);
  return putOnClipboard(owner, CF_UNICODETEXT, makeBlock(text, bytes, &terminator, sizeof terminator));
}

bool ClipboardHelper::setDib(HWND owner, const BITMAPINFOHEADER* header, const void* pixels)
{
  return putOnClipboard(owner, CF_DIB, makeBlock(header, header->biSize, pixels, dibPixelBytes(header)));
}

bool ClipboardHelper::setImage(HWND owner, DibImage* image)
{
  return setDib(owner, &image->getBitmapInfo()->bmiHeader, image->getBits());
}

DibImage* ClipboardHelper::getBitmap(HWND owner)
{
  if (!OpenClipboard(owner))
    return nullptr;
  HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  DibImage* image = new DibImage();
  if (!bitmap || !image->createFromBitmap(bitmap)) {
    delete image;
    image = nullptr;
  }
  CloseClipboard();
  return image;
}
