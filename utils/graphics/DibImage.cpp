#include "DibImage.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "StringUtil.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <csetjmp>
#include <cstdio>
#include <new>

#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

const int DIB_IMAGE_LOG_KEY = LogRegisterKey("D_DibImage", false);

namespace {

int bytesPerRow(int width, int bitsPerPixel)
{
  return ((bitsPerPixel * width + 31) / 32) * 4;
}

BYTE redOf(COLORREF c) { return GetRValue(c); }
BYTE greenOf(COLORREF c) { return GetGValue(c); }
BYTE blueOf(COLORREF c) { return GetBValue(c); }

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
  if (width <= 0 || height <= 0 || std::find(std::begin(DEPTHS), std::end(DEPTHS), bitsPerPixel) == std::end(DEPTHS))
    return false;
  int colours = colourCount;
  if (colours == 0 && bitsPerPixel <= 8)
    colours = 1 << bitsPerPixel;
  size_t headerBytes = sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * colours;
  BITMAPINFO* header = static_cast<BITMAPINFO*>(DEBUG_CALLOC(1, headerBytes));
  if (!header)
    return false;
  header->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header->bmiHeader.biWidth = width;
  header->bmiHeader.biHeight = height;  // positive: bottom-up
  header->bmiHeader.biPlanes = 1;
  header->bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  header->bmiHeader.biCompression = BI_RGB;
  header->bmiHeader.biClrUsed = colourCount;

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
  // A failed copy leaves no half-made image behind.
  if (!copied)
    destroy();
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

// ---------------------------------------------------------------- byte streams

size_t MemoryStream::read(void* buffer, size_t size, size_t count)
{
  if (size == 0)
    return 0;
  size_t items = std::min(count, (_bytes.size() - _position) / size);
  memcpy(buffer, _bytes.data() + _position, items * size);
  _position += items * size;
  return items;
}

size_t MemoryStream::write(const void* buffer, size_t size, size_t count)
{
  _bytes.append(static_cast<const char*>(buffer), size * count);
  return count;
}

// ---------------------------------------------------------------- image files

// The libraries report errors by a long jump back into the routine that
// armed it. Everything the jump must not lose lives in one state record whose
// address the library holds, so no value of it is kept only in a register
// across a library call; the functions that arm the jump own no objects with
// destructors.

namespace {

bool sizeAcceptable(long long width, long long height)
{
  return width > 0 && height > 0 && width <= MAX_IMAGE_SIDE && height <= MAX_IMAGE_SIDE &&
         width * height <= MAX_IMAGE_PIXELS;
}

// The libraries refuse sizes they cannot write; an empty canvas is refused
// before a file is made.
bool hasPixels(Canvas* image)
{
  if (image->width() > 0 && image->height() > 0)
    return true;
  LogPrintf(DIB_IMAGE_LOG_KEY, "Cannot write a picture of %dx%d", image->width(), image->height());
  return false;
}

// Row y of a created 24-bit image, counted from the top.
unsigned char* imageRow(DibImage* image, int y)
{
  int stride = bytesPerRow(image->width(), 24);
  return static_cast<unsigned char*>(image->getBits()) + static_cast<size_t>(image->height() - 1 - y) * stride;
}

FILE* openFile(const wchar_t* path, const wchar_t* mode)
{
  FILE* file = path ? _wfopen(path, mode) : nullptr;
  if (!file)
    LogPrintf(DIB_IMAGE_LOG_KEY, "Cannot open %s", Utf8FromWide(path ? path : L"(null)").get());
  return file;
}

// Closes a written file and removes it when anything went wrong.
bool finishWrittenFile(FILE* file, const wchar_t* path, bool written)
{
  bool flushed = fflush(file) == 0 && !ferror(file);
  bool closed = fclose(file) == 0;
  if (written && flushed && closed)
    return true;
  LogPrintf(DIB_IMAGE_LOG_KEY, "Writing %s failed", Utf8FromWide(path).get());
  DeleteFileW(path);
  return false;
}

// -------- PNG

struct PngState {
  png_structp png;
  png_infop info;
  DibImage* image;
  png_bytep* rows;
  unsigned char* row;
};

[[noreturn]] void pngError(png_structp png, png_const_charp message)
{
  LogPrintf(DIB_IMAGE_LOG_KEY, "PNG: %s", message);
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp message)
{
  LogPrintf(DIB_IMAGE_LOG_KEY, "PNG warning: %s", message);
}

void readFromStream(png_structp png, png_bytep data, png_size_t length)
{
  ByteStream* stream = static_cast<ByteStream*>(png_get_io_ptr(png));
  if (stream->read(data, 1, length) != length)
    png_error(png, "the stream ended early");
}

void writeToStream(png_structp png, png_bytep data, png_size_t length)
{
  ByteStream* stream = static_cast<ByteStream*>(png_get_io_ptr(png));
  if (stream->write(data, 1, length) != length)
    png_error(png, "the stream took fewer bytes");
}

void flushNothing(png_structp) {}

// Every layout (palette, grey, alpha, 16-bit, interlaced) comes out as 8-bit
// blue, green, red, the order of the image's own rows, which libpng fills
// directly.
bool readPngRows(PngState* s)
{
  if (setjmp(png_jmpbuf(s->png)))
    return false;
  png_set_user_limits(s->png, MAX_IMAGE_SIDE, MAX_IMAGE_SIDE);
  png_read_info(s->png, s->info);
  png_uint_32 width = png_get_image_width(s->png, s->info);
  png_uint_32 height = png_get_image_height(s->png, s->info);
  if (!sizeAcceptable(width, height)) {
    LogPrintf(DIB_IMAGE_LOG_KEY, "PNG: refusing a picture of %ux%u", width, height);
    return false;
  }
  png_set_strip_16(s->png);
  png_set_strip_alpha(s->png);
  png_set_packing(s->png);
  png_set_expand(s->png);
  png_set_gray_to_rgb(s->png);
  png_set_bgr(s->png);
  png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  if (png_get_channels(s->png, s->info) != 3 || png_get_bit_depth(s->png, s->info) != 8 ||
      png_get_rowbytes(s->png, s->info) != 3 * width) {
    LogPrintf(DIB_IMAGE_LOG_KEY, "PNG: unexpected row layout");
    return false;
  }
  s->image = new DibImage;
  if (!s->image->create(width, height, 24, 0))
    return false;
  s->rows = static_cast<png_bytep*>(DEBUG_MALLOC(sizeof(png_bytep) * height));
  if (!s->rows)
    return false;
  for (png_uint_32 y = 0; y < height; ++y)
    s->rows[y] = imageRow(s->image, y);
  png_read_image(s->png, s->rows);
  // A file cut after its pixels is damaged all the same.
  png_read_end(s->png, nullptr);
  return true;
}

DibImage* readPng(FILE* file, ByteStream* stream)
{
  PngState s = {};
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, pngError, pngWarning);
  if (!s.png)
    return nullptr;
  s.info = png_create_info_struct(s.png);
  if (s.info) {
    if (file)
      png_init_io(s.png, file);
    else
      png_set_read_fn(s.png, stream, readFromStream);
  }
  bool read = s.info && readPngRows(&s);
  png_destroy_read_struct(&s.png, s.info ? &s.info : nullptr, nullptr);
  DEBUG_FREE(s.rows);
  if (read)
    return s.image;
  delete s.image;
  return nullptr;
}

bool writePngRows(PngState* s, Canvas* image)
{
  if (setjmp(png_jmpbuf(s->png)))
    return false;
  int width = image->width();
  int height = image->height();
  png_set_IHDR(s->png, s->info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(s->png, s->info);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      COLORREF c = image->getPixel(x, y);
      s->row[3 * x] = redOf(c);
      s->row[3 * x + 1] = greenOf(c);
      s->row[3 * x + 2] = blueOf(c);
    }
    png_write_row(s->png, s->row);
  }
  png_write_end(s->png, s->info);
  return true;
}

bool writePng(Canvas* image, FILE* file, ByteStream* stream)
{
  if (!hasPixels(image))
    return false;
  PngState s = {};
  s.row = static_cast<unsigned char*>(DEBUG_MALLOC(3 * static_cast<size_t>(image->width())));
  s.png = s.row ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, pngError, pngWarning) : nullptr;
  s.info = s.png ? png_create_info_struct(s.png) : nullptr;
  if (s.info) {
    if (file)
      png_init_io(s.png, file);
    else
      png_set_write_fn(s.png, stream, writeToStream, flushNothing);
  }
  bool written = s.info && writePngRows(&s, image);
  png_destroy_write_struct(&s.png, s.info ? &s.info : nullptr);
  DEBUG_FREE(s.row);
  return written;
}

// -------- JPEG

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
  (*info->err->output_message)(info);
  longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void jpegMessage(j_common_ptr info)
{
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  LogPrintf(DIB_IMAGE_LOG_KEY, "JPEG: %s", text);
}

jpeg_error_mgr* useJpegError(JpegError& error)
{
  jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegErrorExit;
  error.manager.output_message = jpegMessage;
  return &error.manager;
}

struct JpegReadState {
  jpeg_decompress_struct info;
  JpegError error;
  FILE* file;
  unsigned char* row;
  DibImage* image;
};

bool readJpegRows(JpegReadState* s)
{
  if (setjmp(s->error.jump))
    return false;
  jpeg_create_decompress(&s->info);
  jpeg_stdio_src(&s->info, s->file);
  jpeg_read_header(&s->info, TRUE);
  // Colour spaces other than grey and RGB (CMYK, YCCK) have no 24-bit reading.
  if (!sizeAcceptable(s->info.image_width, s->info.image_height) ||
      (s->info.out_color_space != JCS_RGB && s->info.out_color_space != JCS_GRAYSCALE)) {
    LogPrintf(DIB_IMAGE_LOG_KEY, "JPEG: refusing a %ux%u picture in colour space %d", s->info.image_width,
              s->info.image_height, s->info.out_color_space);
    return false;
  }
  jpeg_start_decompress(&s->info);
  int components = s->info.output_components;
  if (components != 3 && components != 1)
    return false;
  s->row = static_cast<unsigned char*>(DEBUG_MALLOC(s->info.output_width * components));
  s->image = new DibImage;
  if (!s->row || !s->image->create(s->info.output_width, s->info.output_height, 24, 0))
    return false;
  while (s->info.output_scanline < s->info.output_height) {
    JSAMPROW rows[1] = {s->row};
    jpeg_read_scanlines(&s->info, rows, 1);
    unsigned char* out = imageRow(s->image, s->info.output_scanline - 1);
    for (unsigned x = 0; x < s->info.output_width; ++x, out += 3) {
      const unsigned char* in = s->row + x * components;
      out[0] = in[components == 3 ? 2 : 0];
      out[1] = in[components == 3 ? 1 : 0];
      out[2] = in[0];
    }
  }
  jpeg_finish_decompress(&s->info);
  // The library pads a cut or damaged file with grey and only warns.
  if (s->error.manager.num_warnings > 0) {
    LogPrintf(DIB_IMAGE_LOG_KEY, "JPEG: the file is damaged");
    return false;
  }
  return true;
}

struct JpegWriteState {
  jpeg_compress_struct info;
  JpegError error;
  FILE* file;
  unsigned char* row;
};

bool writeJpegRows(JpegWriteState* s, Canvas* image)
{
  if (setjmp(s->error.jump))
    return false;
  jpeg_create_compress(&s->info);
  s->info.image_width = image->width();
  s->info.image_height = image->height();
  s->info.input_components = 3;
  s->info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&s->info);
  jpeg_stdio_dest(&s->info, s->file);
  jpeg_start_compress(&s->info, TRUE);
  for (int y = 0; s->info.next_scanline < s->info.image_height; ++y) {
    for (int x = 0; x < image->width(); ++x) {
      COLORREF c = image->getPixel(x, y);
      s->row[3 * x] = redOf(c);
      s->row[3 * x + 1] = greenOf(c);
      s->row[3 * x + 2] = blueOf(c);
    }
    JSAMPROW rows[1] = {s->row};
    jpeg_write_scanlines(&s->info, rows, 1);
  }
  jpeg_finish_compress(&s->info);
  return true;
}

}

DibImage* DibImage::load(const wchar_t* path)
{
  DibImage* image = loadPng(path);
  return image ? image : loadJpeg(path);
}

DibImage* DibImage::loadPng(const wchar_t* path)
{
  FILE* file = openFile(path, L"rb");
  if (!file)
    return nullptr;
  DibImage* image = readPng(file, nullptr);
  fclose(file);
  return image;
}

DibImage* DibImage::loadPng(ByteStream* stream)
{
  return readPng(nullptr, stream);
}

DibImage* DibImage::loadJpeg(const wchar_t* path)
{
  FILE* file = openFile(path, L"rb");
  if (!file)
    return nullptr;
  JpegReadState s = {};
  s.info.err = useJpegError(s.error);
  s.file = file;
  bool read = readJpegRows(&s);
  jpeg_destroy_decompress(&s.info);
  DEBUG_FREE(s.row);
  fclose(file);
  if (read)
    return s.image;
  delete s.image;
  return nullptr;
}

bool DibImage::savePng(Canvas* image, const wchar_t* path)
{
  FILE* file = openFile(path, L"wb");
  if (!file)
    return false;
  return finishWrittenFile(file, path, writePng(image, file, nullptr));
}

bool DibImage::savePng(Canvas* image, ByteStream* stream)
{
  return writePng(image, nullptr, stream);
}

bool DibImage::saveJpeg(Canvas* image, const wchar_t* path)
{
  if (!hasPixels(image))
    return false;
  FILE* file = openFile(path, L"wb");
  if (!file)
    return false;
  JpegWriteState s = {};
  s.info.err = useJpegError(s.error);
  s.file = file;
  s.row = static_cast<unsigned char*>(DEBUG_MALLOC(3 * static_cast<size_t>(image->width())));
  bool written = s.row && writeJpegRows(&s, image);
  jpeg_destroy_compress(&s.info);
  DEBUG_FREE(s.row);
  return finishWrittenFile(file, path, written);
}
