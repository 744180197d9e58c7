#include "Bitmap.h"
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

}

TEST(Bitmap, MaskLetsTheBackgroundThroughAndSurvivesCopyAndResize)
{
  // Blue with the key colour in the top left quarter.
  Bitmap bitmap;
  ASSERT_TRUE(bitmap.create(static_cast<HWND>(nullptr), 10, 10));
  fillRect(bitmap.getDC(), 0, 10, 10, BLUE);
  fillRect(bitmap.getDC(), 0, 5, 5, KEY);
  bitmap.createMask(KEY);
  EXPECT_EQ(0u, bitmap.getPixel(2, 2));
  expectDrawn(bitmap, 2, 2, GREEN);
  expectDrawn(bitmap, 7, 7, BLUE);

  Bitmap copy;
  copy.copyFrom(bitmap);
  expectDrawn(copy, 2, 2, GREEN);
  copy.resize(GetDC(nullptr), 8, 8);
  EXPECT_EQ(8, copy.width());
  expectDrawn(copy, 1, 1, GREEN);
  expectDrawn(copy, 6, 6, BLUE);
}
