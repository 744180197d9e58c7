#include "DibImage.h"
#include "ImageFiles.h"
#include "TestFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <iostream>

namespace {

uint32_t readBig(const std::string& s, size_t at)
{
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) | (uint32_t(uint8_t(s[at + 2])) << 8) |
         uint8_t(s[at + 3]);
}

void writeBig(std::string& s, size_t at, uint32_t value, int bytes = 4)
{
  for (int i = 0; i < bytes; ++i)
    s[at + i] = static_cast<char>(value >> (8 * (bytes - 1 - i)));
}

// Chunk starts after the 8-byte signature: length, type, data, CRC.
std::vector<size_t> pngChunks(const std::string& png)
{
  std::vector<size_t> starts;
  for (size_t at = 8; at + 12 <= png.size(); at += 12 + readBig(png, at))
    starts.push_back(at);
  return starts;
}

void fixCrc(std::string& png, size_t chunk)
{
  uint32_t length = readBig(png, chunk);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + chunk + 4), length + 4);
  writeBig(png, chunk + 8 + length, static_cast<uint32_t>(crc));
}

// Marker segments with a length field, up to the start of the scan data.
std::vector<size_t> jpegSegments(const std::string& jpeg)
{
  std::vector<size_t> starts;
  for (size_t at = 2; at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF;) {
    starts.push_back(at);
    if (uint8_t(jpeg[at + 1]) == 0xDA)
      break;
    at += 2 + ((uint8_t(jpeg[at + 2]) << 8) | uint8_t(jpeg[at + 3]));
  }
  return starts;
}

class Lcg {
public:
  uint32_t next() { return _state = _state * 1664525u + 1013904223u; }

private:
  uint32_t _state = 12345;
};

const uint32_t ODD_SIZES[] = {0, 1, 5000, 16385, 0x7fffffff, 0x80000000, 0xffffffff};
const uint32_t ODD_LENGTHS[] = {0, 1, 0x7fffffff, 0xffffffff};

struct Damaged {
  std::string bytes;
  bool cut;  // truncated: must fail
};

void addDamage(const std::string& base, std::vector<Damaged>& out, Lcg& random)
{
  for (size_t n = 0; n < base.size(); n += 3)
    out.push_back({base.substr(0, n), true});
  for (int i = 0; i < 200; ++i) {
    std::string flipped = base;
    int flips = 1 + random.next() % 4;
    for (int f = 0; f < flips; ++f)
      flipped[random.next() % flipped.size()] ^= static_cast<char>(1 << (random.next() % 8));
    out.push_back({flipped, false});
  }
}

void addPngDamage(const std::string& png, std::vector<Damaged>& out)
{
  for (uint32_t w : ODD_SIZES) {
    for (uint32_t h : ODD_SIZES) {
      std::string sized = png;
      writeBig(sized, 16, w);
      writeBig(sized, 20, h);
      fixCrc(sized, 8);
      out.push_back({sized, false});
    }
  }
  for (size_t chunk : pngChunks(png)) {
    uint32_t length = readBig(png, chunk);
    for (uint32_t odd : {length - 1, length + 1, ODD_LENGTHS[0], ODD_LENGTHS[1], ODD_LENGTHS[2], ODD_LENGTHS[3]}) {
      std::string wrong = png;
      writeBig(wrong, chunk, odd);
      out.push_back({wrong, false});
    }
  }
  // Bit depths and colour types that do not go together.
  for (int depth : {0, 3, 16, 32}) {
    for (int type : {1, 3, 5, 7}) {
      std::string odd = png;
      odd[24] = static_cast<char>(depth);
      odd[25] = static_cast<char>(type);
      fixCrc(odd, 8);
      out.push_back({odd, false});
    }
  }
}

void addJpegDamage(const std::string& jpeg, std::vector<Damaged>& out)
{
  for (size_t segment : jpegSegments(jpeg)) {
    uint32_t length = (uint8_t(jpeg[segment + 2]) << 8) | uint8_t(jpeg[segment + 3]);
    for (uint32_t odd : {length - 1, length + 1, 0u, 1u, 2u, 0xffffu}) {
      std::string wrong = jpeg;
      writeBig(wrong, segment + 2, odd, 2);
      out.push_back({wrong, false});
    }
    if (uint8_t(jpeg[segment + 1]) != 0xC0)
      continue;
    for (uint32_t h : {0u, 1u, 16385u, 0xffffu}) {
      for (uint32_t w : {0u, 1u, 16385u, 0xffffu}) {
        std::string sized = jpeg;
        writeBig(sized, segment + 5, h, 2);
        writeBig(sized, segment + 7, w, 2);
        out.push_back({sized, false});
      }
    }
  }
}

std::string pngOf(int w, int h, const PngLayout& layout, int bytesPerRow)
{
  std::vector<std::string> rows;
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int i = 0; i < bytesPerRow; ++i)
      row += static_cast<char>(i * 7 + y * 13);
    rows.push_back(row);
  }
  return encodePng(w, h, layout, rows);
}

}

// Damaged pictures must load as a clean failure or a sound image, never a
// crash, an overrun the heap's guards see, or a leak; cut files must fail.
TEST(ImageFiles, DamagedFilesFailCleanly)
{
  std::vector<png_color> palette(16, png_color{10, 200, 30});
  std::vector<std::string> pngs = {
    pngOf(21, 17, {PNG_COLOR_TYPE_PALETTE, 4, true, palette}, 11),
    pngOf(30, 20, {PNG_COLOR_TYPE_RGB, 8, false, {}}, 90),
    pngOf(12, 9, {PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, {}}, 48),
    pngOf(25, 10, {PNG_COLOR_TYPE_GRAY, 8, false, {}}, 25),
  };
  std::vector<std::string> jpegs = {
    encodeJpeg(40, 30, JCS_RGB, 3, [](int x, int y, int c) { return (x * 5 + y * 3 + c * 70) & 0xff; }),
    encodeJpeg(24, 16, JCS_GRAYSCALE, 1, [](int x, int y, int) { return (x * 9 + y * 11) & 0xff; }),
  };
  std::vector<Damaged> corpus;
  Lcg random;
  for (const std::string& png : pngs) {
    ASSERT_FALSE(png.empty());
    addDamage(png, corpus, random);
    addPngDamage(png, corpus);
  }
  for (const std::string& jpeg : jpegs) {
    addDamage(jpeg, corpus, random);
    addJpegDamage(jpeg, corpus);
  }
  ASSERT_GE(corpus.size(), 2000u);

  TestFolder folder;
  std::wstring path = folder.path(L"damaged \u00e9.img");
  DWORD start = GetTickCount();
  int loaded = 0;
  for (size_t i = 0; i < corpus.size(); ++i) {
    const Damaged& d = corpus[i];
    ASSERT_TRUE(writeBytes(path, d.bytes));
    // Both readers see every file: PNG first, then JPEG.
    DibImage* image = DibImage::load(path.c_str());
    MemoryStream stream(d.bytes);
    DibImage* fromStream = DibImage::loadPng(&stream);
    if (d.cut) {
      EXPECT_EQ(nullptr, image) << "file " << i << " cut at " << d.bytes.size();
      EXPECT_EQ(nullptr, fromStream) << "file " << i << " cut at " << d.bytes.size();
    }
    if (image) {
      ++loaded;
      EXPECT_TRUE(image->width() > 0 && image->height() > 0 && image->getBits()) << "file " << i;
    }
    delete image;
    delete fromStream;
  }
  std::cout << "damaged images: " << corpus.size() << ", loaded as sound images: " << loaded << ", "
            << GetTickCount() - start << " ms\n";
}
