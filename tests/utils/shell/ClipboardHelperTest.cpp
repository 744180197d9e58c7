#include "ClipboardHelper.h"
#include "DibImage.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

TEST(ClipboardHelper, ACopyThatCannotBeMadeLeavesTheClipboardAsItWas)
{
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"keep me-not-this", 7));
  // Two gigabytes: no 32-bit process gets that block.
  EXPECT_FALSE(ClipboardHelper::setText(nullptr, L"x", 0x3FFFFFFF));
  EXPECT_EQ(L"keep me", takeText(getClipboardText(nullptr)));
  BITMAPINFOHEADER header = {sizeof header, 1, 1, 1, 24, BI_RGB, 0x7FFFFFFF, 0, 0, 0, 0};
  EXPECT_FALSE(ClipboardHelper::setDib(nullptr, &header, "x"));
  EXPECT_EQ(L"keep me", takeText(getClipboardText(nullptr)));
}

// The colour table goes on between the header and the pixels: without it
// a reader takes the pixels for the table, and its colours from past the
// block.
TEST(ClipboardHelper, AnImageGoesOnWithItsColourTable)
{
  DibImage image;
  ASSERT_TRUE(image.create(1, 1, 8, 0));
  image.getBitmapInfo()->bmiColors[1] = {0, 0, 255, 0};
  *static_cast<BYTE*>(image.getBits()) = 1;
  ASSERT_TRUE(ClipboardHelper::setImage(nullptr, &image));

  std::unique_ptr<DibImage> pasted(ClipboardHelper::getBitmap(nullptr));
  ASSERT_NE(nullptr, pasted);
  EXPECT_EQ(RGB(255, 0, 0), pasted->getPixel(0, 0));
  const size_t infoSize = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
  std::string expected(reinterpret_cast<const char*>(image.getBitmapInfo()), infoSize);
  expected.append(static_cast<const char*>(image.getBits()), 4);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HGLOBAL block = GetClipboardData(CF_DIB);
  std::string held(static_cast<const char*>(GlobalLock(block)), std::min<size_t>(GlobalSize(block), expected.size()));
  GlobalUnlock(block);
  CloseClipboard();
  EXPECT_EQ(expected, held);
}
