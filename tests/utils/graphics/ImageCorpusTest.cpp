#include "DibImage.h"
#include "ImageFiles.h"
#include "TestFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <iostream>

namespace {

struct Damaged {
  std::string bytes;
  bool cut;  // truncated
  int width, height;  // of the picture before the damage
};

// Cuts every 3 bytes, 200 sets of flipped bits, and each odd value in each
// big-endian field; a PNG header's checksum is made right again, so that an
// odd size reaches the reader.
void addDamage(const std::string& base, int width, int height, const std::vector<std::pair<size_t, int>>& fields,
               const std::vector<uint32_t>& values, std::vector<Damaged>& out, uint32_t& random)
{
  for (size_t n = 0; n < base.size(); n += 3)
    out.push_back({base.substr(0, n), true, width, height});
  for (int i = 0; i < 200; ++i) {
    std::string flipped = base;
    for (int f = 0; f <= i % 4; ++f) {
      random = random * 1664525u + 1013904223u;
      flipped[(random >> 8) % flipped.size()] ^= static_cast<char>(1 << (random % 8));
    }
    out.push_back({flipped, false, width, height});
  }
  bool png = base[1] == 'P';
  for (const auto& field : fields) {
    for (uint32_t value : values) {
      std::string odd = base;
      for (int i = 0; i < field.second; ++i)
        odd[field.first + i] = static_cast<char>(value >> (8 * (field.second - 1 - i)));
      uLong crc = crc32(0, reinterpret_cast<const Bytef*>(odd.data() + 12), 17);
      for (int i = 0; png && i < 4; ++i)
        odd[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
      out.push_back({odd, false, width, height});
    }
  }
}

}

// Damaged pictures load as a clean failure or a sound image: never a crash,
// an overrun that the heap's guards see, or a leak. A cut PNG always fails; a
// cut JPEG, which the library pads with grey, fails or keeps its size.
TEST(ImageFiles, DamagedFilesFailCleanly)
{
  struct Picture {
    std::string bytes;
    int width, height;
  };
  std::vector<Damaged> corpus;
  uint32_t random = 12345;
  std::vector<png_color> palette(16, png_color{10, 200, 30});
  for (const Picture& png : {Picture{encodePng(21, 17, PNG_COLOR_TYPE_PALETTE, 4, true, palette), 21, 17},
                             Picture{encodePng(30, 20, PNG_COLOR_TYPE_RGB, 8, false), 30, 20},
                             Picture{encodePng(12, 9, PNG_COLOR_TYPE_GRAY_ALPHA, 16, true), 12, 9},
                             Picture{encodePng(25, 10, PNG_COLOR_TYPE_GRAY, 8, false), 25, 10}}) {
    const std::string& bytes = png.bytes;
    // Width, height and every chunk's length (all shorter than 64 KiB).
    std::vector<std::pair<size_t, int>> fields = {{16, 4}, {20, 4}};
    for (size_t at = 8; at + 12 <= bytes.size(); at += 12 + (uint8_t(bytes[at + 2]) << 8 | uint8_t(bytes[at + 3])))
      fields.push_back({at, 4});
    addDamage(bytes, png.width, png.height, fields, {0, 1, 13, 5000, 16385, 0x7fffffff, 0x80000000, 0xffffffff},
              corpus, random);
  }
  for (const Picture& jpeg :
       {Picture{encodeJpeg(40, 30, JCS_RGB, 3, [](int x, int y, int c) { return x * 5 + y * 3 + c * 70; }), 40, 30},
        Picture{encodeJpeg(24, 16, JCS_GRAYSCALE, 1, [](int x, int y, int) { return x * 9 + y * 11; }), 24, 16}}) {
    size_t frame = jpeg.bytes.find("\xFF\xC0");
    addDamage(jpeg.bytes, jpeg.width, jpeg.height, {{frame + 2, 2}, {frame + 5, 2}, {frame + 7, 2}},
              {0, 1, 16385, 0xffff}, corpus, random);
  }
  ASSERT_GE(corpus.size(), 2000u);

  TestFolder folder;
  int sound = 0;
  for (size_t i = 0; i < corpus.size(); ++i) {
    const Damaged& damaged = corpus[i];
    std::wstring path = folder.file(L"damaged \u00e9.img", damaged.bytes);
    // Every file meets both readers: PNG, then JPEG.
    std::unique_ptr<DibImage> image(DibImage::load(path.c_str()));
    MemoryStream stream(damaged.bytes);
    std::unique_ptr<DibImage> fromStream(DibImage::loadPng(&stream));
    if (damaged.cut) {
      EXPECT_FALSE(fromStream) << "file " << i << " cut at " << damaged.bytes.size();
      EXPECT_TRUE(!image || (image->width() == damaged.width && image->height() == damaged.height))
          << "file " << i << " cut at " << damaged.bytes.size();
    }
    if (image) {
      ++sound;
      EXPECT_TRUE(image->width() > 0 && image->height() > 0 && image->getBits()) << "file " << i;
    }
  }
  std::cout << "damaged images: " << corpus.size() << ", read as sound images: " << sound << "\n";
}
