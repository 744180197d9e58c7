#pragma once

// PNG and JPEG files made with the libraries themselves, to read back
// through DibImage.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <png.h>
#include <jpeglib.h>

// The byte pattern of every test PNG's rows, as the file holds them.
inline unsigned char rowByte(int i, int y)
{
  return static_cast<unsigned char>(i * 7 + y * 13);
}

inline void appendToString(png_structp png, png_bytep data, png_size_t length)
{
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

inline std::string encodePng(int w, int h, int colourType, int bitDepth, bool interlaced,
                             const std::vector<png_color>& palette = {})
{
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  // Nothing here fails on the sizes the tests use; an error would abort.
  std::vector<std::vector<png_byte>> rows(h);
  std::vector<png_bytep> pointers;
  png_set_write_fn(png, &out, appendToString, nullptr);
  png_set_IHDR(png, info, w, h, bitDepth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty())
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  for (int y = 0; y < h; ++y) {
    for (size_t i = 0; i < png_get_rowbytes(png, info); ++i)
      rows[y].push_back(rowByte(i, y));
    pointers.push_back(rows[y].data());
  }
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A black grey-level picture written a row at a time, so that a large one
// costs little memory.
inline std::string encodeBlackPng(int w, int h)
{
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, appendToString, nullptr);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(w);
  for (int y = 0; y < h; ++y)
    png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

inline std::string encodeJpeg(int w, int h, J_COLOR_SPACE space, int components,
                              const std::function<unsigned char(int x, int y, int c)>& sample)
{
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(w * components);
  for (int y = 0; y < h; ++y) {
    for (int i = 0; i < w * components; ++i)
      row[i] = sample(i / components, y, i % components);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<char*>(buffer), size);
  free(buffer);
  return out;
}
