#include "WideChar.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

TEST(WideCharTest, AsciiRoundTripsThroughTheAnsiCodePage)
{
  WideFromAnsi wide("Zarudodo Vudade.lnk");
  EXPECT_STREQ(wide.get(), L"Zarudodo Vudade.lnk");
  AnsiFromWide ansi(wide.get());
  EXPECT_STREQ(ansi.get(), "Zarudodo Vudade.lnk");
}

TEST(WideCharTest, EmptyAndNullGiveEmptyTexts)
{
  EXPECT_STREQ(WideFromAnsi("").get(), L"");
  EXPECT_STREQ(WideFromAnsi(static_cast<const char*>(nullptr)).get(), L"");
  EXPECT_STREQ(AnsiFromWide(L"").get(), "");
  EXPECT_STREQ(AnsiFromWide(static_cast<const wchar_t*>(nullptr)).get(), "");
}

TEST(WideCharTest, UsesTheSystemCodePage)
{
  if (GetACP() != 1252)
    GTEST_SKIP() << "code page " << GetACP();
  EXPECT_STREQ(WideFromAnsi("caf\xE9 \x80").get(), L"caf\u00e9 \u20ac");
  EXPECT_STREQ(AnsiFromWide(L"caf\u00e9 \u20ac").get(), "caf\xE9 \x80");
  // A character the code page lacks becomes its default character.
  EXPECT_STREQ(AnsiFromWide(L"\u65e5").get(), "?");
}
