#include "DibImage.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "DibImageInternal.h"
#include "Log.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <new>

const int DIB_IMAGE_LOG_KEY = LogRegisterKey("D_DibImage", false);

namespace {

// As many colours as an 8-bit pixel can index.
const int MAX_COLOURS = 256;

}

DibImage::DibImage() : _bCreated(false), _dib(), _cache(nullptr), _cacheSize(0) {}

DibImage::~DibImage()
{
  clearCache();
  destroy();
}

bool DibImage::create(int width, int height, int bitsPerPixel, int colourCount)
{
  static const int DEPTHS[] = {1, 4, 8, 16, 24, 32};
  if (width <= 0 || height <= 0 || colourCount < 0 || colourCount > MAX_COLOURS ||
      std::find(std::begin(DEPTHS), std::end(DEPTHS), bitsPerPixel) == std::end(DEPTHS))
    return false;
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(BITMAPINFOHEADER);
  info.biWidth = width;
  info.biHeight = height;  // positive: bottom-up
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(bitsPerPixel);
  info.biCompression = BI_RGB;
  info.biClrUsed = colourCount;
  BITMAPINFO* header = static_cast<BITMAPINFO*>(DEBUG_CALLOC(1, bitmapInfoSize(&info)));
  if (!header)
    return false;
  header->bmiHeader = info;

  destroy();
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, header, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) {
    LogPrintf(DIB_IMAGE_LOG_KEY, "CreateDIBSection %dx%dx%d failed: %lu", width, height, bitsPerPixel,
              GetLastError());
    DEBUG_FREE(header);
    return false;
  }
  GetObjectW(section, sizeof(_dib.ds), &_dib.ds);
  unsigned char** rows = static_cast<unsigned char**>(DEBUG_MALLOC(sizeof(unsigned char*) * height));
  if (!rows) {
    DeleteObject(section);
    DEBUG_FREE(header);
    _dib = Dib();
    return false;
  }
  int stride = bytesPerRow(width, bitsPerPixel);
  for (int y = 0; y < height; ++y)
    rows[y] = static_cast<unsigned char*>(bits) + static_cast<size_t>(height - 1 - y) * stride;
  _dib.rows = rows;
  _dib.section = section;
  _dib.bits = bits;
  _dib.header = header;
  _bCreated = true;
  return true;
}

size_t DibImage::bitmapInfoSize(const BITMAPINFOHEADER* header)
{
  DWORD colours = std::min<DWORD>(header->biClrUsed, MAX_COLOURS);
  if (colours == 0 && header->biBitCount <= 8)
    colours = 1u << header->biBitCount;
  size_t masks = header->biCompression == BI_BITFIELDS ? 3 * sizeof(DWORD) : 0;
  return std::max<size_t>(header->biSize, sizeof(BITMAPINFOHEADER) + masks) + sizeof(RGBQUAD) * colours;
}

bool DibImage::createFromDC(HDC dc, const RECT* rect)
{
  destroy();
  if (!rect)
    return false;
  int w = rect->right - rect->left;
  int h = rect->bottom - rect->top;
  if (!create(w, h, 24, 0))
    return false;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = memory ? SelectObject(memory, _dib.section) : nullptr;
  bool copied = memory && BitBlt(memory, 0, 0, w, h, dc, rect->left, rect->top, SRCCOPY);
  if (memory) {
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  // A failed copy still leaves the image made, at the rectangle's size.
  return copied;
}

bool DibImage::createFromBitmap(HBITMAP bitmap)
{
  BITMAP info;
  if (!GetObjectW(bitmap, sizeof(info), &info))
    return false;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory)
    return false;
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT whole = {0, 0, info.bmWidth, info.bmHeight};
  bool created = createFromDC(memory, &whole);
  SelectObject(memory, old);
  DeleteDC(memory);
  return created;
}

void DibImage::destroy()
{
  if (!_bCreated)
    return;
  DEBUG_FREE(_dib.rows);
  DeleteObject(_dib.section);
  DEBUG_FREE(_dib.header);
  _dib = Dib();
  _bCreated = false;
}

int DibImage::width()
{
  return _bCreated ? _dib.ds.dsBm.bmWidth : 0;
}

int DibImage::height()
{
  return _bCreated ? _dib.ds.dsBm.bmHeight : 0;
}

bool DibImage::getBounds(RECT* out)
{
  if (!out || !_bCreated)
    return false;
  SetRect(out, 0, 0, _dib.header->bmiHeader.biWidth, _dib.header->bmiHeader.biHeight);
  return true;
}

BITMAPINFO* DibImage::getBitmapInfo()
{
  ASSERT(_bCreated);
  return _dib.header;
}

void* DibImage::getBits()
{
  return _bCreated ? _dib.bits : nullptr;
}

unsigned char* DibImage::pixelAddress(int x, int y)
{
  return _dib.rows[y] + (_dib.ds.dsBm.bmBitsPixel / 8) * x;
}

COLORREF DibImage::getPixel(int x, int y)
{
  if (!_bCreated)
    return 0;
  ASSERT(_dib.ds.dsBm.bmBitsPixel == 24);
  if (x < 0 || y < 0 || x >= width() || y >= height())
    return 0;
  const unsigned char* p = pixelAddress(x, y);
  return RGB(p[2], p[1], p[0]);
}

void DibImage::setPixel(int x, int y, COLORREF colour)
{
  if (!_bCreated || x < 0 || y < 0 || x >= width() || y >= height() || _dib.ds.dsBm.bmBitsPixel != 24)
    return;
  unsigned char* p = pixelAddress(x, y);
  p[0] = blueOf(colour);
  p[1] = greenOf(colour);
  p[2] = redOf(colour);
}

bool DibImage::draw(HDC dc, int x, int y, int width, int height, int srcX, int srcY)
{
  if (!_bCreated)
    return false;
  int bottomUpY = this->height() - srcY - height;
  return SetDIBitsToDevice(dc, x, y, width, height, srcX, bottomUpY, 0, this->height(), _dib.bits, _dib.header,
                           DIB_RGB_COLORS) != 0;
}

bool DibImage::stretchDraw(HDC dc, const RECT* src, const RECT* dst)
{
  if (!_bCreated)
    return false;
  return StretchDIBits(dc, dst->left, dst->top, dst->right - dst->left, dst->bottom - dst->top, src->left,
                       height() - src->bottom, src->right - src->left, src->bottom - src->top, _dib.bits,
                       _dib.header, DIB_RGB_COLORS, SRCCOPY) != static_cast<int>(GDI_ERROR);
}

const DibImage::CacheEntry* DibImage::cacheEntry(int slot) const
{
  return slot >= 0 && slot < _cacheSize ? _cache[slot] : nullptr;
}

void DibImage::resizeCache(int slots)
{
  for (int i = slots; i < _cacheSize; ++i) {
    if (_cache[i]) {
      delete _cache[i]->copy;
      delete _cache[i];
    }
  }
  if (slots > _cacheSize) {
    // A count whose bytes a size_t cannot hold is memory nobody gets either.
    if (static_cast<size_t>(slots) > SIZE_MAX / sizeof(CacheEntry*))
      throw std::bad_alloc();
    CacheEntry** grown = static_cast<CacheEntry**>(DEBUG_REALLOC(_cache, sizeof(CacheEntry*) * slots));
    if (!grown)
      throw std::bad_alloc();
    _cache = grown;
    std::fill(_cache + _cacheSize, _cache + slots, nullptr);
  }
  _cacheSize = slots;
}

void DibImage::clearCache()
{
  resizeCache(0);
  DEBUG_FREE(_cache);
  _cache = nullptr;
}

void DibImage::drawCached(HDC dc, const RECT* src, const RECT* dst, int maxCache)
{
  ASSERT(maxCache >= 0);
  if (maxCache == 0) {
    clearCache();
    stretchDraw(dc, src, dst);
    return;
  }
  resizeCache(maxCache);
  ASSERT(_cacheSize == maxCache);
  int srcW = src->right - src->left, srcH = src->bottom - src->top;
  int dstW = dst->right - dst->left, dstH = dst->bottom - dst->top;
  if (srcW <= 0 || srcH <= 0)
    return;
  if (srcW == dstW && srcH == dstH) {
    draw(dc, dst->left, dst->top, dstW, dstH, src->left, src->top);
    return;
  }
  double rx = static_cast<double>(dstW) / srcW;
  double ry = static_cast<double>(dstH) / srcH;
  // The whole image is scaled, so one copy serves any source rectangle.
  int wantedW = static_cast<int>(width() * rx);
  int wantedH = static_cast<int>(height() * ry);
  int count = 0, hit = -1;
  while (count < _cacheSize && _cache[count]) {
    if (hit < 0 && _cache[count]->width == wantedW && _cache[count]->height == wantedH)
      hit = count;
    ++count;
  }
  if (hit < 0) {
    CacheEntry* entry = new CacheEntry{wantedW, wantedH, scaledCopy(wantedW, wantedH)};
    if (count == _cacheSize) {
      hit = _cacheSize - 1;
      delete _cache[hit]->copy;
      delete _cache[hit];
    } else {
      ASSERT(count < _cacheSize);
      hit = count;
    }
    _cache[hit] = entry;
  }
  std::swap(_cache[0], _cache[hit]);
  _cache[0]->copy->draw(dc, dst->left, dst->top, dstW, dstH, static_cast<int>(src->left * rx),
                        static_cast<int>(src->top * ry));
}

bool DibImage::blend(int x, int y, DibImage* source, const RECT* sourceRect, double alpha)
{
  if (!source || !source->_bCreated || !_bCreated || !sourceRect || !(alpha > 0))
    return false;
  // Above 1 the mix would go negative and wrap.
  alpha = std::min(alpha, 1.0);
  RECT whole = {0, 0, source->width(), source->height()};
  RECT block;
  if (!IntersectRect(&block, sourceRect, &whole))
    return true;
  // Reading starts at the clipped corner; each pixel keeps its place
  // relative to the rectangle the caller asked for.
  int toX = x + (block.left - sourceRect->left);
  int toY = y + (block.top - sourceRect->top);
  for (int i = 0; i < block.right - block.left; ++i) {
    for (int j = 0; j < block.bottom - block.top; ++j) {
      COLORREF s = source->getPixel(block.left + i, block.top + j);
      if (alpha == 1.0) {
        setPixel(toX + i, toY + j, s);
        continue;
      }
      COLORREF d = getPixel(toX + i, toY + j);
      auto mix = [alpha](BYTE dc, BYTE sc) {
        return static_cast<BYTE>(static_cast<int>(dc * (1 - alpha)) + static_cast<int>(sc * alpha));
      };
      setPixel(toX + i, toY + j,
               RGB(mix(redOf(d), redOf(s)), mix(greenOf(d), greenOf(s)), mix(blueOf(d), blueOf(s))));
    }
  }
  return true;
}

namespace {

const DWORD REGION_ROOM_STEP = 100;
const DWORD REGION_BATCH = 2000;

// Rectangles for ExtCreateRegion, gathered in movable global memory and
// handed to the system in batches.
class RegionBuilder {
public:
  explicit RegionBuilder(const XFORM* transform)
      : _transform(transform), _room(REGION_ROOM_STEP), _result(nullptr)
  {
    _memory = GlobalAlloc(GMEM_MOVEABLE, bytes());
    _data = _memory ? static_cast<RGNDATA*>(GlobalLock(_memory)) : nullptr;
    if (_data)
      reset();
  }

  ~RegionBuilder()
  {
    if (_memory) {
      GlobalUnlock(_memory);
      GlobalFree(_memory);
    }
  }

  bool ready() const { return _data != nullptr; }

  bool add(LONG left, LONG top, LONG right, LONG bottom)
  {
    if (_data->rdh.nCount == _room && !grow())
      return false;
    RECT* rects = reinterpret_cast<RECT*>(_data->Buffer);
    SetRect(&rects[_data->rdh.nCount++], left, top, right, bottom);
    RECT& bounds = _data->rdh.rcBound;
    bounds.left = std::min(bounds.left, left);
    bounds.top = std::min(bounds.top, top);
    bounds.right = std::max(bounds.right, right);
    bounds.bottom = std::max(bounds.bottom, bottom);
    if (_data->rdh.nCount == REGION_BATCH)
      flush();
    return true;
  }

  // The region made of every rectangle added; the caller owns it.
  HRGN finish()
  {
    flush();
    HRGN result = _result;
    _result = nullptr;
    return result;
  }

private:
  DWORD bytes() const { return sizeof(RGNDATAHEADER) + sizeof(RECT) * _room; }

  void reset()
  {
    _data->rdh.dwSize = sizeof(RGNDATAHEADER);
    _data->rdh.iType = RDH_RECTANGLES;
    _data->rdh.nCount = 0;
    _data->rdh.nRgnSize = 0;
    SetRect(&_data->rdh.rcBound, INT_MAX, INT_MAX, 0, 0);
  }

  bool grow()
  {
    GlobalUnlock(_memory);
    _room += REGION_ROOM_STEP;
    HGLOBAL grown = GlobalReAlloc(_memory, bytes(), GMEM_MOVEABLE);
    if (grown)
      _memory = grown;
    else
      _room -= REGION_ROOM_STEP;
    _data = static_cast<RGNDATA*>(GlobalLock(_memory));
    return grown != nullptr;
  }

  void flush()
  {
    HRGN part = ExtCreateRegion(_transform, bytes(), _data);
    if (!_result) {
      _result = part;
    } else if (part) {
      CombineRgn(_result, _result, part, RGN_OR);
      DeleteObject(part);
    }
    reset();
  }

  const XFORM* _transform;
  DWORD _room;
  HGLOBAL _memory;
  RGNDATA* _data;
  HRGN _result;
};

}

HRGN DibImage::createRegion(COLORREF key, COLORREF tolerance, const XFORM* transform)
{
  if (!_bCreated)
    return nullptr;
  // The range runs up from the lower bound, so with key >= tolerance it is
  // [key - tolerance, key]; regions made before rely on that.
  auto low = [](BYTE k, BYTE t) { return std::max(k - t, 0); };
  int lo[3] = {low(redOf(key), redOf(tolerance)), low(greenOf(key), greenOf(tolerance)),
               low(blueOf(key), blueOf(tolerance))};
  int hi[3] = {std::min(lo[0] + redOf(tolerance), 255), std::min(lo[1] + greenOf(tolerance), 255),
               std::min(lo[2] + blueOf(tolerance), 255)};
  auto matches = [&](COLORREF c) {
    int channels[3] = {redOf(c), greenOf(c), blueOf(c)};
    for (int i = 0; i < 3; ++i)
      if (channels[i] < lo[i] || channels[i] > hi[i])
        return false;
    return true;
  };
  RegionBuilder builder(transform);
  if (!builder.ready())
    return nullptr;
  int w = width(), h = height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int start = x;
      while (x < w && !matches(getPixel(x, y)))
        ++x;
      if (x > start && !builder.add(start, y, x, y + 1)) {
        DeleteObject(builder.finish());
        return nullptr;
      }
    }
  }
  return builder.finish();
}

HBITMAP DibImage::createDDB(HDC dc)
{
  ASSERT(_bCreated);
  return CreateDIBitmap(dc, &_dib.header->bmiHeader, CBM_INIT, _dib.bits, _dib.header, DIB_RGB_COLORS);
}

void DibImage::scaleNearest(Canvas* target)
{
  double sx = static_cast<double>(width()) / target->width();
  double sy = static_cast<double>(height()) / target->height();
  for (int y = 0; y < target->height(); ++y) {
    int row = static_cast<int>(y * sy);
    for (int x = 0; x < target->width(); ++x)
      target->setPixel(x, y, getPixel(static_cast<int>(x * sx), row));
  }
}

namespace {

// Adds weight × colour to the sum channel by channel, each truncated into a byte.
COLORREF accumulate(COLORREF sum, COLORREF colour, double weight)
{
  auto channel = [weight](BYTE s, BYTE c) { return static_cast<BYTE>(static_cast<int>(s + c * weight)); };
  return RGB(channel(redOf(sum), redOf(colour)), channel(greenOf(sum), greenOf(colour)),
             channel(blueOf(sum), blueOf(colour)));
}

COLORREF mix(COLORREF main, COLORREF neighbour, double weight)
{
  return accumulate(accumulate(0, main, weight), neighbour, 1 - weight);
}

}

// Each target pixel mixes its source pixel (weight 0.5 to 1) with the
// neighbours on the side of the pixel centre where the sample falls.
void DibImage::scaleSmooth(Canvas* target)
{
  double sx = static_cast<double>(width()) / target->width();
  double sy = static_cast<double>(height()) / target->height();
  for (int y = 0; y < target->height(); ++y) {
    double fy = y * sy;
    int iy = static_cast<int>(fy);
    double fracY = fy - floor(fy);
    double wy = fracY < 0.5 ? 1 - fracY : fracY;
    int row = iy;
    if (fracY < 0.5 && iy > 0)
      row = iy - 1;
    else if (fracY >= 0.5 && iy < height() - 1)
      row = iy + 1;
    for (int x = 0; x < target->width(); ++x) {
      double fx = x * sx;
      int ix = static_cast<int>(fx);
      double fracX = fx - floor(fx);
      double wx = fracX < 0.5 ? 1 - fracX : fracX;
      int dx = 0;
      if (fracX < 0.5 && ix > 0)
        dx = -1;
      else if (fracX >= 0.5 && ix < width() - 1)
        dx = 1;
      COLORREF top = mix(getPixel(ix, iy), getPixel(ix + dx, iy), wx);
      COLORREF bottom = mix(getPixel(ix, row), getPixel(ix + dx, row), wx);
      target->setPixel(x, y, mix(top, bottom, wy));
    }
  }
}

DibImage* DibImage::scaledCopy(int width, int height)
{
  ASSERT(_bCreated);
  DibImage* copy = new DibImage;
  if (width > 0 && height > 0 && copy->create(width, height, 24, 0))
    scaleSmooth(copy);
  return copy;
}
