#include "ClipboardHelper.h"

#include "Clipboard.h"
#include "DibImage.h"
#include "Log.h"

namespace {

const int LOG_KEY = LogRegisterKey("D_ClipboardHelper", false);

// The clipboard calls leave their failures to the caller to log.
bool logged(bool done)
{
  if (!done)
    LogPrintf(LOG_KEY, "Could not set the clipboard's data: error %lu.", GetLastError());
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
  return length >= 0 && logged(setClipboardText(owner, text, length));
}

bool ClipboardHelper::setDib(HWND owner, const BITMAPINFOHEADER* header, const void* pixels)
{
  HGLOBAL block = makeClipboardBlock(header, DibImage::bitmapInfoSize(header), pixels, dibPixelBytes(header));
  return logged(putOnClipboard(owner, CF_DIB, block));
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
