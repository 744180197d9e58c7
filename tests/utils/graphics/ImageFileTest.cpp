#include "DibImage.h"
#include "ImageFiles.h"
#include "Portability.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const int W = 13;
const int H = 7;

COLORREF paletteColour(int i)
{
  return RGB(i * 16, 255 - i * 16, i * 5);
}

void expectPixels(DibImage* image, const std::function<COLORREF(int x, int y)>& expected, const char* name)
{
  ASSERT_TRUE(image) << name;
  ASSERT_TRUE(image->width() == W && image->height() == H) << name;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(expected(x, y), image->getPixel(x, y)) << name << " at " << x << "," << y;
}

COLORREF grey(unsigned char v)
{
  return RGB(v, v, v);
}

}

TEST(ImageFiles, EveryPngLayoutReadsAsTwentyFourBitColour)
{
  std::vector<png_color> palette;
  for (int i = 0; i < 16; ++i)
    palette.push_back({GetRValue(paletteColour(i)), GetGValue(paletteColour(i)), GetBValue(paletteColour(i))});
  struct Case {
    const char* name;
    int type, depth;
    bool interlaced;
    std::function<COLORREF(int x, int y)> expected;
  } cases[] = {
    {"palette, 4-bit", PNG_COLOR_TYPE_PALETTE, 4, true,
     [](int x, int y) { return paletteColour(x % 2 ? rowByte(x / 2, y) & 15 : rowByte(x / 2, y) >> 4); }},
    {"grey", PNG_COLOR_TYPE_GRAY, 8, false, [](int x, int y) { return grey(rowByte(x, y)); }},
    {"grey and alpha, 16-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true,
     [](int x, int y) { return grey(rowByte(4 * x, y)); }},
    {"colour and alpha", PNG_COLOR_TYPE_RGB_ALPHA, 8, false,
     [](int x, int y) { return RGB(rowByte(4 * x, y), rowByte(4 * x + 1, y), rowByte(4 * x + 2, y)); }},
  };
  for (const Case& c : cases) {
    std::string bytes = encodePng(W, H, c.type, c.depth, c.interlaced,
                                  c.type == PNG_COLOR_TYPE_PALETTE ? palette : std::vector<png_color>());
    MemoryStream stream(bytes);
    std::unique_ptr<DibImage> fromStream(DibImage::loadPng(&stream));
    expectPixels(fromStream.get(), c.expected, c.name);
  }
}

TEST(ImageFiles, SavedPicturesReadBackAndJpegColourSpaces)
{
  auto colour = [](int x, int y) { return RGB(x * 19, y * 30, 200 - x); };
  DibImage image;
  ASSERT_TRUE(image.create(W, H, 24, 0));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      image.setPixel(x, y, colour(x, y));
  TestFolder folder;
  std::wstring png = folder.path(L"saved \u00e9.png");
  ASSERT_TRUE(DibImage::savePng(&image, png.c_str()));
  std::unique_ptr<DibImage> back(DibImage::loadPng(png.c_str()));
  expectPixels(back.get(), colour, "PNG");

  // A JPEG goes through the PNG reader first, quietly.
  std::wstring jpeg = folder.path(L"saved \u00e9.jpg");
  ASSERT_TRUE(DibImage::saveJpeg(&image, jpeg.c_str()));
  back.reset(DibImage::load(jpeg.c_str()));
  ASSERT_TRUE(back && back->width() == W && back->height() == H);

  folder.file(L"saved \u00e9.jpg", encodeJpeg(W, H, JCS_GRAYSCALE, 1, [](int x, int, int) { return x * 19; }));
  back.reset(DibImage::loadJpeg(jpeg.c_str()));
  ASSERT_TRUE(back);
  COLORREF c = back->getPixel(10, 3);
  EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << std::hex << c;
  EXPECT_NEAR(190, GetRValue(c), 12);
  // Four components have no 24-bit reading: a failed load, not a crash.
  folder.file(L"saved \u00e9.jpg", encodeJpeg(8, 8, JCS_CMYK, 4, [](int, int, int) { return 100; }));
  EXPECT_EQ(nullptr, DibImage::loadJpeg(jpeg.c_str()));
}

// Bytes between markers, which some cameras write, only make the library
// warn: the picture reads as it would without them.
TEST(ImageFiles, AJpegWithStrayBytesBeforeAMarkerLoads)
{
  std::string clean = encodeJpeg(W, H, JCS_RGB, 3, [](int x, int y, int c) { return x * 19 + y * 30 + c * 60; });
  std::string stray = clean;
  stray.insert(stray.find("\xFF\xC0"), "\x01\x02\x03");
  TestFolder folder;
  std::unique_ptr<DibImage> expected(DibImage::loadJpeg(folder.file(L"clean.jpg", clean).c_str()));
  ASSERT_TRUE(expected);
  std::unique_ptr<DibImage> image(DibImage::loadJpeg(folder.file(L"stray.jpg", stray).c_str()));
  expectPixels(image.get(), [&](int x, int y) { return expected->getPixel(x, y); }, "stray bytes");
}

TEST(ImageFiles, APictureOverThePixelLimitIsRefusedThoughItsSidesAreWithinTheirs)
{
  MemoryStream stream(encodeBlackPng(8192, 8192));
  EXPECT_EQ(nullptr, DibImage::loadPng(&stream));
}

// A write that fails half way leaves no picture behind.
TEST(ImageFiles, FailedWritesLeaveNoFile)
{
  TestFolder folder;
  DibImage tooWideForJpeg;
  ASSERT_TRUE(tooWideForJpeg.create(70000, 1, 24, 0));
  std::wstring path = folder.path(L"wide.jpg");
  EXPECT_FALSE(DibImage::saveJpeg(&tooWideForJpeg, path.c_str()));
  EXPECT_FALSE(fileExists(path.c_str()));
}
