#include "Bitmap.h"

#include "Assert.h"
#include "BaseWnd.h"
#include "DebugHeap.h"
#include "DibImage.h"
#include "Log.h"

const int BITMAP_LOG_KEY = LogRegisterKey("D_Bitmap", false);

namespace {

// Destination AND NOT source: with a mask as the source, its 1 (transparent)
// bits blacken the destination.
const DWORD ROP_AND_NOT_SOURCE = 0x00220326;

void blit(bool stretch, HDC dc, int x, int y, int width, int height, HDC source, int srcX, int srcY, int srcWidth,
          int srcHeight, DWORD rop)
{
  if (stretch)
    StretchBlt(dc, x, y, width, height, source, srcX, srcY, srcWidth, srcHeight, rop);
  else
    BitBlt(dc, x, y, width, height, source, srcX, srcY, rop);
}

// A memory DC compatible with the screen, holding one bitmap until it goes.
class ScreenMemoryDC {
public:
  explicit ScreenMemoryDC(HBITMAP bitmap) : _dc(CreateCompatibleDC(nullptr)), _old(nullptr)
  {
    if (_dc && bitmap)
      _old = SelectObject(_dc, bitmap);
  }
  ~ScreenMemoryDC()
  {
    if (!_dc)
      return;
    if (_old)
      SelectObject(_dc, _old);
    DeleteDC(_dc);
  }
  ScreenMemoryDC(const ScreenMemoryDC&) = delete;
  ScreenMemoryDC& operator=(const ScreenMemoryDC&) = delete;

  HDC get() const { return _old ? _dc : nullptr; }

private:
  HDC _dc;
  HGDIOBJ _old;
};

HBITMAP createMonochrome(int width, int height)
{
  return CreateBitmap(width, height, 1, 1, nullptr);
}

}

Bitmap::Bitmap() : _hBitmap(nullptr), _hMask(nullptr), _hDC(nullptr), _savedObject(nullptr), _width(0), _height(0) {}

Bitmap::~Bitmap()
{
  destroy();
}

void Bitmap::destroy()
{
  if (_hDC) {
    SelectObject(_hDC, _savedObject);
    DeleteDC(_hDC);
  }
  if (_hBitmap)
    DeleteObject(_hBitmap);
  if (_hMask)
    DeleteObject(_hMask);
  _hBitmap = nullptr;
  _hMask = nullptr;
  _hDC = nullptr;
  _savedObject = nullptr;
}

void Bitmap::readSize()
{
  BITMAP info;
  bool read = GetObjectW(_hBitmap, sizeof(info), &info) != 0;
  ASSERT(read);
  _width = read ? info.bmWidth : 1;
  _height = read ? info.bmHeight : 1;
}

bool Bitmap::create(HDC compatibleWith, int width, int height)
{
  destroy();
  // A zero size would give the system's shared 1 × 1 monochrome bitmap.
  if (width <= 0 || height <= 0)
    return false;
  _hDC = CreateCompatibleDC(compatibleWith);
  _hBitmap = _hDC ? CreateCompatibleBitmap(compatibleWith, width, height) : nullptr;
  if (!_hBitmap) {
    LogPrintf(BITMAP_LOG_KEY, "Cannot create a %dx%d bitmap", width, height);
    destroy();
    return false;
  }
  _savedObject = SelectObject(_hDC, _hBitmap);
  readSize();
  return true;
}

bool Bitmap::create(HWND window, int width, int height)
{
  HDC dc = GetDC(window);
  bool created = create(dc, width, height);
  ReleaseDC(window, dc);
  return created;
}

bool Bitmap::loadResource(LPCWSTR name)
{
  destroy();
  _hDC = CreateCompatibleDC(nullptr);
  _hBitmap = _hDC ? LoadBitmapW(getInstance(), name) : nullptr;
  if (!_hBitmap) {
    destroy();
    return false;
  }
  _savedObject = SelectObject(_hDC, _hBitmap);
  readSize();
  return true;
}

void Bitmap::copyFrom(const Bitmap& other)
{
  destroy();
  if (other.isEmpty() || !create(other._hDC, other.width(), other.height()))
    return;
  BitBlt(_hDC, 0, 0, _width, _height, other._hDC, 0, 0, SRCCOPY);
  if (!other._hMask)
    return;
  HBITMAP mask = createMonochrome(_width, _height);
  ScreenMemoryDC target(mask);
  ScreenMemoryDC source(other._hMask);
  if (target.get() && source.get() && BitBlt(target.get(), 0, 0, _width, _height, source.get(), 0, 0, SRCCOPY)) {
    _hMask = mask;
    return;
  }
  if (mask)
    DeleteObject(mask);
}

void Bitmap::drawWith(bool stretch, HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                      int srcHeight)
{
  if (!_hMask) {
    blit(stretch, dc, x, y, width, height, _hDC, srcX, srcY, srcWidth, srcHeight, SRCCOPY);
    return;
  }
  HDC maskDC = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(maskDC, _hMask);
  COLORREF oldText = SetTextColor(dc, 0);
  // Opaque pixels go black, then the picture (black where transparent) is
  // ORed in.
  blit(stretch, dc, x, y, width, height, maskDC, srcX, srcY, srcWidth, srcHeight, SRCAND);
  blit(stretch, dc, x, y, width, height, _hDC, srcX, srcY, srcWidth, srcHeight, SRCPAINT);
  SetTextColor(dc, oldText);
  SelectObject(maskDC, old);
  DeleteDC(maskDC);
}

void Bitmap::draw(HDC dc, int x, int y, int width, int height, int srcX, int srcY)
{
  drawWith(false, dc, x, y, width, height, srcX, srcY, width, height);
}

void Bitmap::stretchDraw(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight)
{
  drawWith(true, dc, x, y, width, height, srcX, srcY, srcWidth, srcHeight);
}

void Bitmap::resize(HDC compatibleWith, int newWidth, int newHeight)
{
  ASSERT(newWidth > 0);
  ASSERT(newHeight > 0);
  ASSERT(_hDC);
  DibImage whole;
  RECT all = {0, 0, width(), height()};
  if (!whole.createFromDC(_hDC, &all))
    return;
  DibImage* scaled = whole.scaledCopy(newWidth, newHeight);
  if (scaled->width() > 0) {
    HBITMAP oldMask = _hMask;
    int oldWidth = _width;
    int oldHeight = _height;
    _hMask = nullptr;
    if (create(compatibleWith, newWidth, newHeight)) {
      scaled->draw(_hDC, 0, 0, newWidth, newHeight, 0, 0);
      if (oldMask)
        scaleMask(oldMask, oldWidth, oldHeight);
    }
    if (oldMask)
      DeleteObject(oldMask);
  }
  delete scaled;
}

// The mask follows the picture to its new size.
void Bitmap::scaleMask(HBITMAP oldMask, int oldWidth, int oldHeight)
{
  HBITMAP mask = createMonochrome(_width, _height);
  ScreenMemoryDC target(mask);
  ScreenMemoryDC source(oldMask);
  if (target.get() && source.get()) {
    SetStretchBltMode(target.get(), COLORONCOLOR);
    if (StretchBlt(target.get(), 0, 0, _width, _height, source.get(), 0, 0, oldWidth, oldHeight, SRCCOPY)) {
      blackenTransparent(target.get());
      _hMask = mask;
      return;
    }
  }
  LogPrintf(BITMAP_LOG_KEY, "Cannot scale the mask");
  if (mask)
    DeleteObject(mask);
}

// Drawing through the mask ORs the picture in: it must be black wherever the
// mask is transparent.
void Bitmap::blackenTransparent(HDC maskDC)
{
  BitBlt(_hDC, 0, 0, _width, _height, maskDC, 0, 0, ROP_AND_NOT_SOURCE);
}

bool Bitmap::takeImage(HDC compatibleWith, DibImage* image)
{
  if (!image)
    return false;
  bool created = create(compatibleWith, image->width(), image->height());
  if (created)
    image->draw(_hDC, 0, 0, _width, _height, 0, 0);
  delete image;
  return created;
}

bool Bitmap::load(HDC compatibleWith, const wchar_t* path)
{
  return takeImage(compatibleWith, DibImage::load(path));
}

bool Bitmap::loadPng(HDC compatibleWith, ByteStream* stream)
{
  return takeImage(compatibleWith, DibImage::loadPng(stream));
}

bool Bitmap::savePng(ByteStream* stream)
{
  ASSERT(!isEmpty());
  DibImage image;
  RECT all = {0, 0, _width, _height};
  return image.createFromDC(_hDC, &all) && DibImage::savePng(&image, stream);
}

bool Bitmap::loadMaskPng(ByteStream* stream)
{
  if (isEmpty())
    return false;
  DibImage* image = DibImage::loadPng(stream);
  bool fits = image && image->width() == _width && image->height() == _height;
  HBITMAP mask = fits ? createMonochrome(_width, _height) : nullptr;
  bool drawn = false;
  if (mask) {
    ScreenMemoryDC target(mask);
    drawn = target.get() && image->draw(target.get(), 0, 0, _width, _height, 0, 0);
    if (drawn)
      blackenTransparent(target.get());
  }
  delete image;
  if (!drawn) {
    if (mask)
      DeleteObject(mask);
    return false;
  }
  deleteMask();
  _hMask = mask;
  return true;
}

bool Bitmap::saveMaskPng(ByteStream* stream)
{
  ASSERT(!isEmpty());
  ASSERT(_hMask);
  if (isEmpty() || !_hMask)
    return false;
  ScreenMemoryDC source(_hMask);
  DibImage image;
  RECT all = {0, 0, _width, _height};
  return source.get() && image.createFromDC(source.get(), &all) && DibImage::savePng(&image, stream);
}

void Bitmap::createMask(COLORREF key)
{
  ASSERT(_hBitmap);
  deleteMask();
  _hMask = makeMask(_hDC, key, _width, _height);
  ASSERT(_hMask);
}

void Bitmap::deleteMask()
{
  if (_hMask)
    DeleteObject(_hMask);
  _hMask = nullptr;
}

HBITMAP Bitmap::makeMask(HDC source, COLORREF key, int width, int height)
{
  HDC screen = GetDC(nullptr);
  if (!screen)
    return nullptr;
  HBITMAP mask = createMonochrome(width, height);
  bool made = false;
  if (mask) {
    ScreenMemoryDC maskDC(mask);
    if (maskDC.get()) {
      COLORREF oldBackground = SetBkColor(source, key);
      // Key pixels become 0, the rest 1; the key pixels of the picture go
      // black; then the mask turns round: key pixels 1 (transparent).
      made = BitBlt(maskDC.get(), 0, 0, width, height, source, 0, 0, NOTSRCCOPY);
      SetBkColor(source, oldBackground);
      made = made && BitBlt(source, 0, 0, width, height, maskDC.get(), 0, 0, SRCAND) &&
             BitBlt(maskDC.get(), 0, 0, width, height, maskDC.get(), 0, 0, DSTINVERT);
    }
  }
  ReleaseDC(nullptr, screen);
  if (!made && mask) {
    DeleteObject(mask);
    mask = nullptr;
  }
  return mask;
}

// ---------------------------------------------------------------- BitmapPtr

BitmapPtr::BitmapPtr() : _count(new int(1)), _bitmap(nullptr) {}

BitmapPtr::BitmapPtr(const BitmapPtr& other) : _count(other._count), _bitmap(other._bitmap)
{
  if (_count)
    ++*_count;
}

BitmapPtr& BitmapPtr::operator=(const BitmapPtr& other)
{
  if (this == &other || _count == other._count)
    return *this;
  release();
  _count = other._count;
  _bitmap = other._bitmap;
  if (_count)
    ++*_count;
  return *this;
}

BitmapPtr::~BitmapPtr()
{
  release();
}

BitmapPtr& BitmapPtr::reset(Bitmap* bitmap)
{
  release();
  _count = new int(1);
  _bitmap = bitmap;
  return *this;
}

void BitmapPtr::release()
{
  if (_count && --*_count == 0) {
    delete _count;
    delete _bitmap;
  }
  _count = nullptr;
  _bitmap = nullptr;
}
