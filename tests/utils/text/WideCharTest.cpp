#include "WideChar.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(WideCharTest, ConvertsThroughTheSystemCodePageAndNullIsEmpty)
{
  EXPECT_STREQ(AnsiFromWide(WideFromAnsi("Zarudodo Vudade.lnk").get()).get(), "Zarudodo Vudade.lnk");
  EXPECT_STREQ(WideFromAnsi(static_cast<const char*>(nullptr)).get(), L"");
  EXPECT_STREQ(AnsiFromWide(static_cast<const wchar_t*>(nullptr)).get(), "");
  if (GetACP() != 1252)
    GTEST_SKIP() << "code page " << GetACP();
  EXPECT_STREQ(WideFromAnsi("caf\xE9 \x80").get(), L"caf\u00e9 \u20ac");
  EXPECT_STREQ(AnsiFromWide(L"caf\u00e9 \u20ac").get(), "caf\xE9 \x80");
  EXPECT_STREQ(AnsiFromWide(L"\u65e5").get(), "?");  // missing from the code page
}
