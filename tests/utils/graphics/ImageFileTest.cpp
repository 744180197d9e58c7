#include "DibImage.h"
#include "ImageFiles.h"
#include "Portability.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const int W = 13;
const int H = 7;

struct PngCase {
  const char* name;
  PngLayout layout;
  // The bytes of row y as the file holds them.
  std::function<std::string(int y)> row;
  COLORREF (*expected)(int x, int y);
};

unsigned char greyOf(int x, int y)
{
  return static_cast<unsigned char>(x * 19 + y * 3);
}

const png_color PALETTE[4] = {{255, 0, 0}, {0, 200, 0}, {0, 0, 255}, {250, 250, 250}};

std::string paletteRow(int y)
{
  std::string row((W + 1) / 2, '\0');
  for (int x = 0; x < W; ++x)
    row[x / 2] |= static_cast<char>(((x + y) % 4) << (x % 2 ? 0 : 4));
  return row;
}

std::string bytesPerPixel(int count, const std::function<unsigned char(int x, int c)>& byte)
{
  std::string row;
  for (int x = 0; x < W; ++x)
    for (int c = 0; c < count; ++c)
      row += static_cast<char>(byte(x, c));
  return row;
}

COLORREF greyExpected(int x, int y)
{
  return RGB(greyOf(x, y), greyOf(x, y), greyOf(x, y));
}

COLORREF colourExpected(int x, int y)
{
  return RGB(x * 19, y * 30, 200 - x);
}

unsigned char colourByte(int x, int y, int c)
{
  return static_cast<unsigned char>(c == 0 ? x * 19 : c == 1 ? y * 30 : 200 - x);
}

void expectPixels(DibImage* image, COLORREF (*expected)(int, int), const char* name)
{
  ASSERT_TRUE(image) << name;
  ASSERT_EQ(W, image->width()) << name;
  ASSERT_EQ(H, image->height()) << name;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      ASSERT_EQ(expected(x, y), image->getPixel(x, y)) << name << " at " << x << "," << y;
}

}

TEST(ImageFiles, EveryPngLayoutReadsAsTwentyFourBitColour)
{
  const PngCase cases[] = {
    {"palette, 4-bit, interlaced", {PNG_COLOR_TYPE_PALETTE, 4, true, {PALETTE, PALETTE + 4}}, paletteRow,
     [](int x, int y) {
       const png_color& c = PALETTE[(x + y) % 4];
       return RGB(c.red, c.green, c.blue);
     }},
    {"grey", {PNG_COLOR_TYPE_GRAY, 8, false, {}},
     [](int y) { return bytesPerPixel(1, [y](int x, int) { return greyOf(x, y); }); }, greyExpected},
    {"grey and alpha", {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}},
     [](int y) { return bytesPerPixel(2, [y](int x, int c) { return c ? x * 20 : greyOf(x, y); }); },
     greyExpected},
    {"grey, 1-bit", {PNG_COLOR_TYPE_GRAY, 1, true, {}},
     [](int y) {
       std::string row((W + 7) / 8, '\0');
       for (int x = 0; x < W; ++x)
         row[x / 8] |= static_cast<char>(((x ^ y) & 1) << (7 - x % 8));
       return row;
     },
     [](int x, int y) { return (x ^ y) & 1 ? RGB(255, 255, 255) : RGB(0, 0, 0); }},
    {"colour, 16-bit", {PNG_COLOR_TYPE_RGB, 16, false, {}},
     [](int y) {
       return bytesPerPixel(6, [y](int x, int c) { return c % 2 ? 0x7f : colourByte(x, y, c / 2); });
     },
     colourExpected},
    {"colour and alpha", {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}},
     [](int y) { return bytesPerPixel(4, [y](int x, int c) { return c == 3 ? 17 : colourByte(x, y, c); }); },
     colourExpected},
  };
  TestFolder folder;
  for (const PngCase& c : cases) {
    std::vector<std::string> rows;
    for (int y = 0; y < H; ++y)
      rows.push_back(c.row(y));
    std::string bytes = encodePng(W, H, c.layout, rows);
    ASSERT_FALSE(bytes.empty()) << c.name;
    MemoryStream stream(bytes);
    DibImage* fromStream = DibImage::loadPng(&stream);
    expectPixels(fromStream, c.expected, c.name);
    delete fromStream;
    std::wstring path = folder.path(L"pict\u00fcre \u65e5.png");
    ASSERT_TRUE(writeBytes(path, bytes));
    DibImage* fromFile = DibImage::load(path.c_str());
    expectPixels(fromFile, c.expected, c.name);
    delete fromFile;
  }
}

TEST(ImageFiles, SavedPicturesReadBack)
{
  DibImage image;
  ASSERT_TRUE(image.create(W, H, 24, 0));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      image.setPixel(x, y, colourExpected(x, y));
  TestFolder folder;
  std::wstring png = folder.path(L"saved \u00e9.png");
  ASSERT_TRUE(DibImage::savePng(&image, png.c_str()));
  DibImage* back = DibImage::loadPng(png.c_str());
  expectPixels(back, colourExpected, "file");
  delete back;
  MemoryStream stream;
  ASSERT_TRUE(DibImage::savePng(&image, &stream));
  MemoryStream again(stream.bytes());
  back = DibImage::loadPng(&again);
  expectPixels(back, colourExpected, "stream");
  delete back;

  // A JPEG goes through the PNG reader first, quietly.
  std::wstring jpeg = folder.path(L"saved \u00e9.jpg");
  ASSERT_TRUE(DibImage::saveJpeg(&image, jpeg.c_str()));
  back = DibImage::load(jpeg.c_str());
  ASSERT_TRUE(back);
  EXPECT_EQ(W, back->width());
  EXPECT_EQ(H, back->height());
  delete back;
}

TEST(ImageFiles, JpegColourSpaces)
{
  TestFolder folder;
  std::wstring path = folder.path(L"grey.jpg");
  ASSERT_TRUE(writeBytes(path, encodeJpeg(W, H, JCS_GRAYSCALE, 1, [](int x, int y, int) { return greyOf(x, y); })));
  DibImage* grey = DibImage::loadJpeg(path.c_str());
  ASSERT_TRUE(grey);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      COLORREF c = grey->getPixel(x, y);
      EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << x << "," << y;
      EXPECT_NEAR(greyOf(x, y), GetRValue(c), 12) << x << "," << y;
    }
  }
  delete grey;

  ASSERT_TRUE(writeBytes(path, encodeJpeg(16, 16, JCS_RGB, 3, [](int, int, int c) { return c == 0 ? 220 : 30; })));
  DibImage* colour = DibImage::loadJpeg(path.c_str());
  ASSERT_TRUE(colour);
  COLORREF c = colour->getPixel(8, 8);
  EXPECT_NEAR(220, GetRValue(c), 6);
  EXPECT_NEAR(30, GetGValue(c), 6);
  EXPECT_NEAR(30, GetBValue(c), 6);
  delete colour;

  // Four components have no 24-bit reading: a failed load, not a crash.
  ASSERT_TRUE(writeBytes(path, encodeJpeg(8, 8, JCS_CMYK, 4, [](int, int, int) { return 100; })));
  EXPECT_EQ(nullptr, DibImage::loadJpeg(path.c_str()));
}

namespace {

// A canvas of any size whose pixels are all grey.
class PlainCanvas : public Canvas {
public:
  PlainCanvas(int w, int h) : _w(w), _h(h) {}
  COLORREF getPixel(int, int) override { return RGB(90, 90, 90); }
  int width() override { return _w; }
  int height() override { return _h; }

private:
  int _w, _h;
};

}

TEST(ImageFiles, FailedWritesLeaveNoFile)
{
  TestFolder folder;
  PlainCanvas small(4, 4);
  PlainCanvas tooWideForJpeg(70000, 1);
  PlainCanvas tooWideForPng(1000001, 1);
  PlainCanvas empty(0, 5);
  struct Case {
    const char* name;
    bool (*save)(Canvas*, const wchar_t*);
    Canvas* canvas;
    std::wstring path;
  } cases[] = {
    {"PNG into a missing folder", DibImage::savePng, &small, folder.path(L"missing\\a.png")},
    {"JPEG into a missing folder", DibImage::saveJpeg, &small, folder.path(L"missing\\a.jpg")},
    {"PNG the library refuses", DibImage::savePng, &tooWideForPng, folder.path(L"wide.png")},
    {"JPEG the library refuses", DibImage::saveJpeg, &tooWideForJpeg, folder.path(L"wide.jpg")},
    {"empty JPEG", DibImage::saveJpeg, &empty, folder.path(L"empty.jpg")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.save(c.canvas, c.path.c_str())) << c.name;
    EXPECT_FALSE(fileExists(c.path.c_str())) << c.name;
  }
  MemoryStream stream;
  EXPECT_FALSE(DibImage::savePng(&empty, &stream));
  EXPECT_EQ(nullptr, DibImage::load(folder.path(L"absent.png").c_str()));
}
