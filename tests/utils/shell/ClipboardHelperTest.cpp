#include "ClipboardHelper.h"
#include "DibImage.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

TEST(ClipboardHelper, TextGoesOnAsUnicodeUpToTheGivenLength)
{
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"abc-not-this", 3));
  EXPECT_TRUE(ClipboardHelper::isFormatAvailable(CF_UNICODETEXT));
  EXPECT_EQ(L"abc", takeText(getClipboardText(nullptr)));
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"", 0));
  EXPECT_EQ(L"", takeText(getClipboardText(nullptr)));
}

TEST(ClipboardHelper, ACopyThatCannotBeMadeLeavesTheClipboardAsItWas)
{
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"keep me", 7));
  // Two gigabytes: no 32-bit process gets that block.
  EXPECT_FALSE(ClipboardHelper::setText(nullptr, L"x", 0x3FFFFFFF));
  EXPECT_EQ(L"keep me", takeText(getClipboardText(nullptr)));
  BITMAPINFOHEADER header = {sizeof header, 1, 1, 1, 24, BI_RGB, 0x7FFFFFFF, 0, 0, 0, 0};
  EXPECT_FALSE(ClipboardHelper::setDib(nullptr, &header, "x"));
  EXPECT_EQ(L"keep me", takeText(getClipboardText(nullptr)));
}

TEST(ClipboardHelper, DibRowsArePaddedAndComeBackAsABitmap)
{
  DibImage image;
  ASSERT_TRUE(image.create(3, 2, 24, 0));  // 9 bytes a row, padded to 12
  image.setPixel(0, 0, RGB(10, 20, 30));
  image.setPixel(2, 1, RGB(200, 100, 50));
  BITMAPINFOHEADER header = image.getBitmapInfo()->bmiHeader;
  header.biSizeImage = 0;
  ASSERT_TRUE(ClipboardHelper::setDib(nullptr, &header, image.getBits()));
  // Unpadded rows would shift the second row's pixels.
  std::unique_ptr<DibImage> back(ClipboardHelper::getBitmap(nullptr));
  ASSERT_TRUE(back && back->width() == 3);
  EXPECT_EQ(RGB(10, 20, 30), back->getPixel(0, 0));
  EXPECT_EQ(RGB(200, 100, 50), back->getPixel(2, 1));

  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"text only", 9));
  EXPECT_EQ(nullptr, ClipboardHelper::getBitmap(nullptr));
}
