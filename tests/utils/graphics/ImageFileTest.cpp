#include "DibImage.h"
#include "ImageFiles.h"
#include "Portability.h"
#include "StringUtil.h"
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
  TestFolder folder;
  for (const Case& c : cases) {
    std::string bytes = encodePng(W, H, c.type, c.depth, c.interlaced,
                                  c.type == PNG_COLOR_TYPE_PALETTE ? palette : std::vector<png_color>());
    MemoryStream stream(bytes);
    std::unique_ptr<DibImage> fromStream(DibImage::loadPng(&stream));
    expectPixels(fromStream.get(), c.expected, c.name);
    std::wstring path = folder.file(L"pict\u00fcre \u65e5.png", bytes);
    std::unique_ptr<DibImage> fromFile(DibImage::load(path.c_str()));
    expectPixels(fromFile.get(), c.expected, c.name);
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
  for (int x = 0; x < W; ++x) {
    COLORREF c = back->getPixel(x, 3);
    EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << x;
    EXPECT_NEAR(x * 19, GetRValue(c), 12) << x;
  }
  // Four components have no 24-bit reading: a failed load, not a crash.
  folder.file(L"saved \u00e9.jpg", encodeJpeg(8, 8, JCS_CMYK, 4, [](int, int, int) { return 100; }));
  EXPECT_EQ(nullptr, DibImage::loadJpeg(jpeg.c_str()));
}

TEST(ImageFiles, FailedWritesLeaveNoFile)
{
  TestFolder folder;
  DibImage small, tooWideForJpeg, empty;
  ASSERT_TRUE(small.create(4, 4, 24, 0) && tooWideForJpeg.create(70000, 1, 24, 0));
  struct Case {
    bool (*save)(Canvas*, const wchar_t*);
    Canvas* canvas;
    std::wstring path;
  } cases[] = {
    {DibImage::savePng, &small, folder.path(L"missing\\a.png")},
    {DibImage::saveJpeg, &tooWideForJpeg, folder.path(L"wide.jpg")},
    {DibImage::saveJpeg, &empty, folder.path(L"empty.jpg")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.save(c.canvas, c.path.c_str())) << toUtf8(c.path);
    EXPECT_FALSE(fileExists(c.path.c_str())) << toUtf8(c.path);
  }
  MemoryStream stream;
  EXPECT_FALSE(DibImage::savePng(&empty, &stream));
}
