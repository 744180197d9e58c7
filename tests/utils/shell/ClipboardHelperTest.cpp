#include "ClipboardHelper.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

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
