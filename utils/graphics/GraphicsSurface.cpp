#include "GraphicsSurface.h"

#include "Assert.h"
#include "Clipboard.h"
#include "DebugHeap.h"
#include "GraphicsLog.h"
#include "Log.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo-win32.h>

#include <algorithm>
#include <climits>
#include <cstring>

bool GraphicsSurface::writeToStream(PngWriteFunction, void*)
{
  ASSERT(!"only an image surface writes PNG to a stream");
  return false;
}

bool GraphicsSurface::save(const wchar_t* path)
{
  // A DC or clipboard surface has nothing to write: leave no empty file behind.
  if (!hasDocument()) {
    LogPrintf(GRAPHICS_LOG_KEY, "save: this kind of surface has no document to write");
    return false;
  }
  FILE* file = _wfopen(path, L"wb");
  if (!file) {
    fprintf(stderr, "Could not open '%ls' for writing.\n", path);
    return false;
  }
  bool written = writeToFile(file);
  written = fclose(file) == 0 && written;
  // A half-written file would pass for a picture or document.
  if (!written)
    DeleteFileW(path);
  return written;
}

bool GraphicsSurface::copyToClipboard(HWND)
{
  return false;
}

bool GraphicsSurface::getRGB(unsigned char*, unsigned)
{
  return false;
}

void GraphicsSurface::release()
{
  delete _context;
  _context = nullptr;
  cairo_surface_destroy(_surface);
  _surface = nullptr;
}

GraphicsImageSurface::GraphicsImageSurface(int width, int height, bool alpha)
{
  _surface = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
  _context = new CairoGraphicsContext(_surface);
}

namespace {

struct StreamWriter {
  PngWriteFunction write;
  void* userData;
};

cairo_status_t writeToCaller(void* closure, const unsigned char* data, unsigned int length)
{
  StreamWriter* writer = static_cast<StreamWriter*>(closure);
  return writer->write(writer->userData, data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

cairo_status_t writeToStdioFile(void* closure, const unsigned char* data, unsigned int length)
{
  return fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                        : CAIRO_STATUS_WRITE_ERROR;
}

// The pixels of an image surface for direct access, or null.
unsigned char* imageData(cairo_surface_t* surface)
{
  cairo_surface_flush(surface);
  return cairo_image_surface_get_data(surface);
}

}

bool GraphicsImageSurface::writeToStream(PngWriteFunction write, void* userData)
{
  StreamWriter writer = {write, userData};
  return cairo_surface_write_to_png_stream(_surface, writeToCaller, &writer) == CAIRO_STATUS_SUCCESS;
}

bool GraphicsImageSurface::writeToFile(FILE* file)
{
  cairo_status_t status = cairo_surface_write_to_png_stream(_surface, writeToStdioFile, file);
  if (status != CAIRO_STATUS_SUCCESS)
    LogPrintf(GRAPHICS_LOG_KEY, "ERROR: cairo_surface_write_to_png_stream() returned %d", status);
  return status == CAIRO_STATUS_SUCCESS;
}

bool GraphicsImageSurface::getRGB(unsigned char* buffer, unsigned size)
{
  const unsigned char* data = imageData(_surface);
  if (!data) {
    LogPrintf(GRAPHICS_LOG_KEY, "getRGB: the image has no pixels");
    return false;
  }
  cairo_format_t format = cairo_image_surface_get_format(_surface);
  ASSERT(format == CAIRO_FORMAT_RGB24 || format == CAIRO_FORMAT_ARGB32);
  unsigned width = cairo_image_surface_get_width(_surface);
  unsigned height = cairo_image_surface_get_height(_surface);
  ASSERT(size >= width * height * 3);
  unsigned pixels = width * height;
  // Native 32-bit pixels: on this little-endian machine blue comes first.
  for (unsigned i = 0; i < pixels; ++i) {
    const unsigned char* pixel = data + i * 4;
    buffer[i * 3] = pixel[2];
    buffer[i * 3 + 1] = pixel[1];
    buffer[i * 3 + 2] = pixel[0];
  }
  return true;
}

namespace {

// Sums of one byte channel over the rectangle from (0, 0) to each pixel;
// look-ups outside the image take the nearest edge entry.
class SummedArea {
public:
  SummedArea(unsigned* table, int width, int height) : _table(table), _width(width), _height(height) {}

  void build(const unsigned char* pixels, int channel)
  {
    for (int y = 0; y < _height; ++y) {
      for (int x = 0; x < _width; ++x) {
        unsigned sum = pixels[(y * _width + x) * 4 + channel];
        if (x > 0)
          sum += at(x - 1, y);
        if (y > 0)
          sum += at(x, y - 1);
        if (x > 0 && y > 0)
          sum -= at(x - 1, y - 1);
        at(x, y) = sum;
      }
    }
  }

  unsigned clamped(int x, int y) const
  {
    return _table[std::min(std::max(y, 0), _height - 1) * _width + std::min(std::max(x, 0), _width - 1)];
  }

private:
  unsigned& at(int x, int y) { return _table[y * _width + x]; }

  unsigned* _table;
  int _width, _height;
};

}

bool boxBlur(unsigned char* pixels, int width, int height, int radius)
{
  // A box of no size would divide by zero: there is nothing to blur.
  if (radius < 1 || !pixels || width <= 0 || height <= 0)
    return false;
  size_t bytes = static_cast<size_t>(width) * height * 4;
  unsigned char* output = static_cast<unsigned char*>(DEBUG_MALLOC(bytes));
  unsigned* table = static_cast<unsigned*>(DEBUG_MALLOC(static_cast<size_t>(width) * height * sizeof(unsigned)));
  bool blurred = output && table;
  if (!blurred) {
    LogPrintf(GRAPHICS_LOG_KEY, "blur: no memory for a %dx%d image", width, height);
  } else {
    memcpy(output, pixels, bytes);
    SummedArea sums(table, width, height);
    const int r = radius;
    const float scale = static_cast<float>(1.0 / ((2.0 * r) * (2.0 * r)));
    for (int channel = 0; channel < 4; ++channel) {
      sums.build(pixels, channel);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          // Unsigned arithmetic wraps, and the true total fits, so it is exact.
          unsigned total = sums.clamped(x + r, y + r) + sums.clamped(x - r, y - r) -
                           sums.clamped(x - r, y + r) - sums.clamped(x + r, y - r);
          output[(y * width + x) * 4 + channel] = static_cast<unsigned char>(static_cast<unsigned>(total * scale));
        }
      }
    }
    memcpy(pixels, output, bytes);
  }
  DEBUG_FREE(output);
  DEBUG_FREE(table);
  return blurred;
}

void GraphicsImageSurface::blur(double radius)
{
  if (boxBlur(imageData(_surface), cairo_image_surface_get_width(_surface),
              cairo_image_surface_get_height(_surface), static_cast<int>(radius)))
    cairo_surface_mark_dirty(_surface);
}

GraphicsPaintDcSurface::GraphicsPaintDcSurface(HDC hdc, bool printing)
{
  if (printing) {
    _surface = cairo_win32_printing_surface_create(hdc);
    _context = new CairoPrintContext(_surface, hdc);
  } else {
    _surface = cairo_win32_surface_create(hdc);
    _context = new CairoGraphicsContext(_surface);
  }
}

GraphicsClipboardSurface::GraphicsClipboardSurface(int width, int height)
{
  _surface = cairo_win32_surface_create_with_dib(CAIRO_FORMAT_RGB24, width, height);
  _context = new CairoGraphicsContext(_surface);
}

namespace {

const LONG PIXELS_PER_METRE = 3780;  // 96 dots per inch

// A handle to a packed 24-bit bottom-up DIB of the image, or null.
HGLOBAL packDib(const unsigned char* data, int width, int height, int stride)
{
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biXPelsPerMeter = PIXELS_PER_METRE;
  header.biYPelsPerMeter = PIXELS_PER_METRE;
  int pad = (4 - (3 * width) % 4) % 4;
  size_t imageBytes = static_cast<size_t>(width) * height * 3 + static_cast<size_t>(height) * pad;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(header) + imageBytes);
  if (!memory)
    return nullptr;
  unsigned char* out = static_cast<unsigned char*>(GlobalLock(memory));
  memcpy(out, &header, sizeof(header));
  out += sizeof(header);
  for (int y = height - 1; y >= 0; --y) {
    const unsigned char* row = data + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      memcpy(out, row + x * 4, 3);
      out += 3;
    }
    out += pad;
  }
  GlobalUnlock(memory);
  return memory;
}

}

bool GraphicsClipboardSurface::copyToClipboard(HWND owner)
{
  cairo_surface_t* image = cairo_win32_surface_get_image(_surface);
  const unsigned char* data = image ? imageData(image) : nullptr;
  if (!data) {
    LogPrintf(GRAPHICS_LOG_KEY, "copyToClipboard: the surface has no pixels");
    return false;
  }
  ASSERT(cairo_image_surface_get_format(image) == CAIRO_FORMAT_RGB24);
  HGLOBAL dib = packDib(data, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image),
                        cairo_image_surface_get_stride(image));
  // Packed before the clipboard is emptied, so a failure leaves its content alone.
  return putOnClipboard(owner, CF_DIB, dib);
}

namespace {

const unsigned DOCUMENT_START_CAPACITY = 32768;

cairo_status_t appendToDocument(void* closure, const unsigned char* data, unsigned int length)
{
  return static_cast<GraphicsPdfSurface*>(closure)->append(data, length) ? CAIRO_STATUS_SUCCESS
                                                                         : CAIRO_STATUS_WRITE_ERROR;
}

}

GraphicsPdfSurface::GraphicsPdfSurface(unsigned width, unsigned height, bool svg)
    : _buffer(static_cast<char*>(DEBUG_MALLOC(DOCUMENT_START_CAPACITY))),
      _used(0),
      _capacity(_buffer ? DOCUMENT_START_CAPACITY : 0),
      _finished(false)
{
  _surface = svg ? cairo_svg_surface_create_for_stream(appendToDocument, this, width, height)
                 : cairo_pdf_surface_create_for_stream(appendToDocument, this, width, height);
  _context = new CairoGraphicsContext(_surface);
}

GraphicsPdfSurface::~GraphicsPdfSurface()
{
  release();  // cairo may still append the document's end
  DEBUG_FREE(_buffer);
}

bool GraphicsPdfSurface::append(const unsigned char* data, unsigned length)
{
  if (length > UINT_MAX - _used)
    return false;
  unsigned needed = _used + length;
  unsigned capacity = std::max(_capacity, 1u);
  while (capacity < needed) {
    if (capacity > UINT_MAX / 2)
      return false;
    capacity *= 2;
  }
  if (capacity != _capacity) {
    char* grown = static_cast<char*>(DEBUG_REALLOC(_buffer, capacity));
    if (!grown) {
      LogPrintf(GRAPHICS_LOG_KEY, "The document cannot grow to %u bytes", capacity);
      return false;
    }
    _buffer = grown;
    _capacity = capacity;
  }
  memcpy(_buffer + _used, data, length);
  _used = needed;
  return true;
}

// Drawing on the finished surface puts cairo in an error state, so the
// finished document is remembered rather than asked for again.
bool GraphicsPdfSurface::writeToFile(FILE* file)
{
  if (!_finished) {
    cairo_surface_finish(_surface);
    cairo_status_t status = cairo_surface_status(_surface);
    if (status != CAIRO_STATUS_SUCCESS) {
      LogPrintf(GRAPHICS_LOG_KEY, "The document is incomplete: cairo status %d", status);
      return false;
    }
    _finished = true;
  }
  return fwrite(_buffer, 1, _used, file) == _used;
}

GraphicsSurface* createImageSurface(int width, int height, bool alpha)
{
  return new GraphicsImageSurface(width, height, alpha);
}

GraphicsSurface* createPaintDcSurface(HDC hdc)
{
  return new GraphicsPaintDcSurface(hdc, false);
}

GraphicsSurface* createPrintSurface(HDC hdc)
{
  return new GraphicsPaintDcSurface(hdc, true);
}

GraphicsSurface* createClipboardSurface(int width, int height)
{
  return new GraphicsClipboardSurface(width, height);
}

GraphicsSurface* createPdfSurface(unsigned width, unsigned height)
{
  return new GraphicsPdfSurface(width, height, false);
}

GraphicsSurface* createSvgSurface(unsigned width, unsigned height)
{
  return new GraphicsPdfSurface(width, height, true);
}
