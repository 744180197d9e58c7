#include "Bitmap.h"
#include "DibImage.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const COLORREF KEY = RGB(255, 0, 255);
const COLORREF BLUE = RGB(0, 0, 255);
const COLORREF GREEN = RGB(0, 255, 0);

void fillRect(HDC dc, int left, int right, int height, COLORREF colour)
{
  RECT r = {left, 0, right, height};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// w × h: the key colour left of x = 5, blue from there on.
void makeKeyed(Bitmap& bitmap, int w = 10, int h = 10)
{
  ASSERT_TRUE(bitmap.create(static_cast<HWND>(nullptr), w, h));
  fillRect(bitmap.getDC(), 0, 5, h, KEY);
  fillRect(bitmap.getDC(), 5, w, h, BLUE);
}

// What the bitmap leaves on a green background at (x, y), each channel
// within a step of scaling's shading of the expected colour.
void expectDrawn(Bitmap& bitmap, int x, int y, COLORREF expected)
{
  MemoryDC dc(bitmap.width(), bitmap.height());
  fillRect(dc.dc, 0, bitmap.width(), bitmap.height(), GREEN);
  bitmap.draw(dc.dc, 0, 0, bitmap.width(), bitmap.height(), 0, 0);
  COLORREF c = dc.pixel(x, y);
  EXPECT_TRUE(abs(GetRValue(c) - GetRValue(expected)) < 8 && abs(GetGValue(c) - GetGValue(expected)) < 8 &&
              abs(GetBValue(c) - GetBValue(expected)) < 8)
    << std::hex << c << " at " << x << "," << y;
}

HDC screen()
{
  static HDC dc = GetDC(nullptr);
  return dc;
}

}

TEST(Bitmap, MaskLetsTheBackgroundThroughAndSurvivesCopyAndResize)
{
  Bitmap bitmap;
  makeKeyed(bitmap);
  bitmap.createMask(KEY);
  EXPECT_EQ(0u, bitmap.getPixel(2, 2));
  expectDrawn(bitmap, 2, 2, GREEN);
  expectDrawn(bitmap, 7, 7, BLUE);

  Bitmap copy;
  copy.copyFrom(bitmap);
  expectDrawn(copy, 2, 2, GREEN);
  copy.resize(screen(), 8, 8);
  EXPECT_EQ(8, copy.width());
  expectDrawn(copy, 1, 1, GREEN);
  expectDrawn(copy, 6, 6, BLUE);
}

TEST(Bitmap, PictureAndMaskTravelAsPngAndFailedLoadsKeepWhatWasThere)
{
  Bitmap keyed;
  makeKeyed(keyed);
  keyed.createMask(KEY);
  MemoryStream picture, mask;
  ASSERT_TRUE(keyed.savePng(&picture));
  ASSERT_TRUE(keyed.saveMaskPng(&mask));

  Bitmap loaded;
  MemoryStream mask1(mask.bytes());
  EXPECT_FALSE(loaded.loadMaskPng(&mask1));
  ASSERT_TRUE(loaded.create(static_cast<HWND>(nullptr), 10, 10));
  fillRect(loaded.getDC(), 0, 10, 10, RGB(255, 0, 0));
  MemoryStream mask2(mask.bytes());
  ASSERT_TRUE(loaded.loadMaskPng(&mask2));
  expectDrawn(loaded, 2, 2, GREEN);
  DibImage narrow;
  ASSERT_TRUE(narrow.create(9, 10, 24, 0));
  MemoryStream narrowPng;
  ASSERT_TRUE(DibImage::savePng(&narrow, &narrowPng));
  EXPECT_FALSE(loaded.loadMaskPng(&narrowPng));
  expectDrawn(loaded, 2, 2, GREEN);

  MemoryStream picture1(picture.bytes());
  ASSERT_TRUE(loaded.loadPng(screen(), &picture1));
  EXPECT_EQ(BLUE, loaded.getPixel(5, 0));
  MemoryStream cut(picture.bytes().substr(0, picture.bytes().size() / 2));
  EXPECT_FALSE(loaded.loadPng(screen(), &cut));
  EXPECT_FALSE(loaded.load(screen(), L"no such picture.png"));
  EXPECT_EQ(BLUE, loaded.getPixel(5, 0));
}

TEST(BitmapPtr, TheLastHolderDeletesTheBitmap)
{
  Bitmap* shared = new Bitmap;
  ASSERT_TRUE(shared->create(static_cast<HWND>(nullptr), 4, 4));
  HBITMAP handle = shared->getHandle();
  {
    BitmapPtr first;
    first.reset(shared);
    BitmapPtr keeper(first);
    keeper = keeper;
    first.reset(new Bitmap);
    EXPECT_EQ(OBJ_BITMAP, static_cast<DWORD>(GetObjectType(handle)));
    first = keeper;
    keeper.reset(nullptr);
    EXPECT_EQ(OBJ_BITMAP, static_cast<DWORD>(GetObjectType(handle)));
  }
  EXPECT_EQ(0u, static_cast<DWORD>(GetObjectType(handle)));
}
