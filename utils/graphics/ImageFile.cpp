#include "ImageFile.h"

#include "DebugHeap.h"
#include "DibImage.h"
#include "DibImageInternal.h"
#include "Log.h"
#include "StringUtil.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

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
  // A warning (stray bytes, a cut file padded with grey) leaves a picture
  // of the header's size: it is read.
  jpeg_finish_decompress(&s->info);
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
