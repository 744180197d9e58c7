#include "Bitmap.h"
#include "DibImage.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const COLORREF KEY = RGB(255, 0, 255);
const COLORREF BLUE = RGB(0, 0, 255);
const COLORREF GREEN = RGB(0, 255, 0);
const COLORREF RED_PIXEL = RGB(255, 0, 0);

void fillRect(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
  RECT r = {left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// w × h: the key colour left of x = 5, blue from there on.
void makeKeyed(Bitmap& bitmap, int w = 10, int h = 10)
{
  ASSERT_TRUE(bitmap.create(static_cast<HWND>(nullptr), w, h));
  fillRect(bitmap.getDC(), 0, 0, 5, h, KEY);
  fillRect(bitmap.getDC(), 5, 0, w, h, BLUE);
}

// What the bitmap leaves on a green background, at (x, y).
COLORREF drawnOnGreen(Bitmap& bitmap, int x, int y)
{
  MemoryDC dc(bitmap.width(), bitmap.height());
  fillRect(dc.dc, 0, 0, bitmap.width(), bitmap.height(), GREEN);
  bitmap.draw(dc.dc, 0, 0, bitmap.width(), bitmap.height(), 0, 0);
  return dc.pixel(x, y);
}

bool closeColours(COLORREF a, COLORREF b)
{
  return abs(GetRValue(a) - GetRValue(b)) < 8 && abs(GetGValue(a) - GetGValue(b)) < 8 &&
         abs(GetBValue(a) - GetBValue(b)) < 8;
}

HDC screen()
{
  static HDC dc = GetDC(nullptr);
  return dc;
}

}

TEST(Bitmap, MaskLetsTheBackgroundThroughAndSurvivesCopyAndResize)
{
  Bitmap fresh;
  EXPECT_TRUE(fresh.isEmpty());
  EXPECT_EQ(1, fresh.width());
  EXPECT_EQ(1, fresh.height());
  EXPECT_FALSE(fresh.create(static_cast<HWND>(nullptr), 0, 5));
  EXPECT_TRUE(fresh.isEmpty());

  Bitmap bitmap;
  makeKeyed(bitmap);
  bitmap.createMask(KEY);
  EXPECT_EQ(0u, bitmap.getPixel(2, 2));
  EXPECT_EQ(GREEN, drawnOnGreen(bitmap, 2, 2));
  EXPECT_EQ(BLUE, drawnOnGreen(bitmap, 7, 7));

  Bitmap copy;
  copy.copyFrom(bitmap);
  ASSERT_TRUE(copy.hasMask());
  EXPECT_EQ(GREEN, drawnOnGreen(copy, 2, 2));
  EXPECT_EQ(BLUE, drawnOnGreen(copy, 7, 7));

  copy.resize(screen(), 8, 8);
  EXPECT_EQ(8, copy.width());
  ASSERT_TRUE(copy.hasMask());
  EXPECT_EQ(GREEN, drawnOnGreen(copy, 1, 1));
  // Smooth scaling may shade the picture a little.
  EXPECT_TRUE(closeColours(BLUE, drawnOnGreen(copy, 6, 6))) << std::hex << drawnOnGreen(copy, 6, 6);
}

TEST(Bitmap, MaskTravelsAsPngOnlyAtTheBitmapsSize)
{
  Bitmap keyed;
  makeKeyed(keyed);
  keyed.createMask(KEY);
  MemoryStream saved;
  ASSERT_TRUE(keyed.saveMaskPng(&saved));

  Bitmap red;
  EXPECT_FALSE(red.loadMaskPng(&saved));
  ASSERT_TRUE(red.create(static_cast<HWND>(nullptr), 10, 10));
  fillRect(red.getDC(), 0, 0, 10, 10, RGB(255, 0, 0));
  MemoryStream mask(saved.bytes());
  ASSERT_TRUE(red.loadMaskPng(&mask));
  EXPECT_EQ(GREEN, drawnOnGreen(red, 2, 2));

  DibImage narrow;
  ASSERT_TRUE(narrow.create(9, 10, 24, 0));
  MemoryStream narrowPng;
  ASSERT_TRUE(DibImage::savePng(&narrow, &narrowPng));
  EXPECT_FALSE(red.loadMaskPng(&narrowPng));
  EXPECT_EQ(GREEN, drawnOnGreen(red, 2, 2));
  EXPECT_EQ(RED_PIXEL, drawnOnGreen(red, 7, 7));
}

TEST(Bitmap, PictureTravelsAsPngAndAFailedLoadKeepsIt)
{
  Bitmap keyed;
  makeKeyed(keyed, 12, 6);
  MemoryStream saved;
  ASSERT_TRUE(keyed.savePng(&saved));
  Bitmap loaded;
  MemoryStream png(saved.bytes());
  ASSERT_TRUE(loaded.loadPng(screen(), &png));
  EXPECT_EQ(12, loaded.width());
  EXPECT_EQ(6, loaded.height());
  EXPECT_EQ(KEY, loaded.getPixel(4, 5));
  EXPECT_EQ(BLUE, loaded.getPixel(5, 0));

  MemoryStream cut(saved.bytes().substr(0, saved.bytes().size() / 2));
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
    {
      BitmapPtr second(first);
      BitmapPtr third;
      third = second;
      third = third;
    }
    EXPECT_EQ(OBJ_BITMAP, static_cast<DWORD>(GetObjectType(handle)));
    BitmapPtr keeper(first);
    first.reset(new Bitmap);
    EXPECT_EQ(shared, keeper.get());
    EXPECT_EQ(OBJ_BITMAP, static_cast<DWORD>(GetObjectType(handle)));
  }
  EXPECT_EQ(0u, static_cast<DWORD>(GetObjectType(handle)));
}
