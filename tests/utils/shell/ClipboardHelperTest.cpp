#include "BaseWnd.h"
#include "ClipboardHelper.h"
#include "DebugHeap.h"
#include "DibImage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring clipboardText()
{
  wchar_t* text = getClipboardText(nullptr);
  std::wstring copy = text ? text : L"<none>";
  DEBUG_FREE(text);
  return copy;
}

}

TEST(ClipboardHelper, TextGoesOnAsUnicodeUpToTheGivenLength)
{
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"abc-not-this", 3));
  EXPECT_TRUE(ClipboardHelper::isFormatAvailable(CF_UNICODETEXT));
  EXPECT_EQ(L"abc", clipboardText());
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"", 0));
  EXPECT_EQ(L"", clipboardText());
}

TEST(ClipboardHelper, ACopyThatCannotBeMadeLeavesTheClipboardAsItWas)
{
  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"keep me", 7));
  // Two gigabytes: no 32-bit process gets that block.
  EXPECT_FALSE(ClipboardHelper::setText(nullptr, L"x", 0x3FFFFFFF));
  EXPECT_EQ(L"keep me", clipboardText());
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = 1;
  header.biHeight = 1;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biSizeImage = 0x7FFFFFFF;
  EXPECT_FALSE(ClipboardHelper::setDib(nullptr, &header, "x"));
  EXPECT_EQ(L"keep me", clipboardText());
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
  DibImage* back = ClipboardHelper::getBitmap(nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(3, back->width());
  EXPECT_EQ(RGB(10, 20, 30), back->getPixel(0, 0));
  EXPECT_EQ(RGB(200, 100, 50), back->getPixel(2, 1));
  delete back;

  ASSERT_TRUE(ClipboardHelper::setText(nullptr, L"text only", 9));
  EXPECT_EQ(nullptr, ClipboardHelper::getBitmap(nullptr));
}
