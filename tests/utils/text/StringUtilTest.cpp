#include "StringUtil.h"

#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(Utf8CodecTest, MalformedBytesBecomeOneReplacementEachWithoutReadingPastTheEnd)
{
  // A '?' in the expected text stands for U+FFFD.
  const struct {
    const char* utf8;
    const wchar_t* wide;
  } cases[] = {
      // Valid text also checks the encoder.
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"\u00e9\u20AC\xD83D\xDE00"},
      // The largest of each length; the smallest are below.
      {"\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF", L"\x007F\x07FF\xFFFF\xDBFF\xDFFF"},
      // Cut short at the end of the text, or before the next character.
      {"\xC3", L"?"}, {"\xF0\x9F\x98", L"???"}, {"\xE2\x82" "A", L"??A"}, {"a\x80" "b", L"a?b"}, {"\xFF\xFE", L"??"},
      {"\xE2\xC3\xA9", L"?\u00e9"},  // a lead byte cut short by a whole character, which stays
      {"\xF8\x90\x80\x80", L"????"},  // no lead byte: its low bits would spell U+10000
      {"\xF4\x90\x80\x80", L"????"},  // beyond U+10FFFF
      // The largest over-long spelling of each length, and the smallest true one.
      {"\xC1\xBF", L"??"}, {"\xE0\x9F\xBF", L"???"}, {"\xF0\x8F\xBF\xBF", L"????"},
      {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", L"\x0080\x0800\xD800\xDC00"},
      // Surrogates spelled in UTF-8, alone or as a pair.
      {"\xED\xA0\xBD\xED\xB8\x80", L"??????"}, {"\xED\x9F\xBF", L"\uD7FF"},
  };
  PageEdge edge;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.utf8)));
    std::wstring expected = c.wide;
    std::replace(expected.begin(), expected.end(), L'?', L'\xFFFD');
    EXPECT_EQ(toWide(c.utf8), expected);
    if (expected.find(L'\xFFFD') == std::wstring::npos) {
      EXPECT_EQ(toUtf8(expected), c.utf8);
    }
    const char* text = edge.placeText(c.utf8);
    std::wstring out(utf8ToUtf16(text, nullptr), L'-');
    EXPECT_EQ(utf8ToUtf16(text, &out[0]), static_cast<int>(out.size()));
    EXPECT_EQ(out, expected);
  }
}

TEST(Utf8CodecTest, UnpairedSurrogatesEncodeAsReplacementWithoutReadingPastTheEnd)
{
  const std::string R = "\xEF\xBF\xBD";
  const struct {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"\xD800", R}, {L"\xDC00\xD800", R + R}, {L"a\xD83D" L"b", "a" + R + "b"},
      {L"\xD83D\xD83D\xDE00", R + "\xF0\x9F\x98\x80"},
  };
  PageEdge edge;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(toUtf8(c.wide), c.utf8);
    const wchar_t* text = edge.placeText(c.wide);
    std::string out(utf16ToUtf8(text, nullptr), '-');
    EXPECT_EQ(utf16ToUtf8(text, &out[0]), static_cast<int>(out.size()));
    EXPECT_EQ(out, c.utf8);
  }
}

TEST(Utf8CodecTest, HoldersHaveRoomForTheWorstCases)
{
  // 3 bytes per unit, and a replacement for every byte.
  EXPECT_EQ(strlen(Utf8FromWide(std::wstring(1000, L'\uFFFF')).get()), 3000u);
  EXPECT_EQ(wcslen(WideFromUtf8(std::string(1000, '\x80')).get()), 1000u);
  EXPECT_STREQ(Utf8FromWide(static_cast<const wchar_t*>(nullptr)).get(), "");
}

// Extensions and URL paths are matched against texts shorter than them.
TEST(StringUtilTest, AffixesLongerThanTheText)
{
  EXPECT_FALSE(endsWith(std::string("a"), std::string("abc")));
  EXPECT_FALSE(startsWith(std::string("/v"), std::string("/v/")));
}
