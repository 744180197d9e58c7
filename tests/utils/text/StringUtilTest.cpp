#include "StringUtil.h"

#include "TestFolder.h"
#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The platform's own encoder: an independent judge of our output.
std::string systemUtf8(const std::wstring& text)
{
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

}

TEST(Utf8CodecTest, EveryCodePointRoundTripsAndMatchesThePlatform)
{
  std::wstring text;
  for (unsigned c = 1; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF)
      continue;
    if (c < 0x10000) {
      text += static_cast<wchar_t>(c);
    } else {
      text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    if (text.size() >= 4096 || c == 0x10FFFF) {
      std::string utf8 = toUtf8(text);
      ASSERT_EQ(utf8, systemUtf8(text)) << "block ending at U+" << std::hex << c;
      ASSERT_EQ(toWide(utf8), text) << "block ending at U+" << std::hex << c;
      text.clear();
    }
  }
}

TEST(Utf8CodecTest, MalformedBytesBecomeOneReplacementEachWithoutReadingPastTheEnd)
{
  // A '?' in the expected text stands for U+FFFD.
  const struct {
    const char* utf8;
    const wchar_t* wide;
  } cases[] = {
      {"", L""}, {"\xC3\xA9", L"\u00e9"}, {"\xE2\x82\xAC", L"\u20AC"}, {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      // Cut short at the end of the text, or before the next character.
      {"\xC3", L"?"}, {"\xE2", L"?"}, {"\xE2\x82", L"??"}, {"\xF0\x9F\x98", L"???"}, {"\xE2\x82" "A", L"??A"},
      {"a\x80" "b", L"a?b"}, {"\xBF\xBF", L"??"}, {"\xFF\xFE", L"??"},
      {"\xF8\x90\x80\x80", L"????"},  // no lead byte: its low bits would spell U+10000
      {"\xF4\x90\x80\x80", L"????"},  // beyond U+10FFFF
      // Over-long spellings of '.', ':', '/' and NUL must not decode to them.
      {"\xC0\xAE\xC0\xAE", L"????"}, {"\xC0\xBA", L"??"}, {"\xE0\x80\xAF", L"???"}, {"\xF0\x80\x80\xAF", L"????"},
      {"a\xC0\x80" "b", L"a??b"}, {"\xC1\xBF", L"??"}, {"\xE0\x9F\xBF", L"???"}, {"\xF0\x8F\xBF\xBF", L"????"},
      {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", L"\x0080\x0800\xD800\xDC00"},  // the smallest of each length
      // Surrogates spelled in UTF-8, alone or as a pair.
      {"\xED\xA0\xBD\xED\xB8\x80", L"??????"}, {"\xED\xBF\xBF", L"???"}, {"\xED\x9F\xBF", L"\uD7FF"},
  };
  PageEdge edge;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.utf8)));
    std::wstring expected = c.wide;
    std::replace(expected.begin(), expected.end(), L'?', L'\xFFFD');
    EXPECT_EQ(toWide(c.utf8), expected);
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
      {L"\xD800", R}, {L"\xDBFF", R}, {L"\xDC00\xD800", R + R}, {L"a\xD83D" L"b", "a" + R + "b"},
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

// The text helpers that the program calls; the others have no caller.
TEST(StringUtilTest, AffixesTrimmingReplacingAndHex)
{
  EXPECT_FALSE(endsWith(std::string("a"), std::string("abc")));
  EXPECT_FALSE(endsWith(std::wstring(L"video.M3U8"), std::wstring(L".m3u8")));
  EXPECT_FALSE(startsWith(std::string("/v"), std::string("/v/")));

  EXPECT_EQ(trim(std::string(" \t\r\nkey = value\n")), "key = value");
  EXPECT_EQ(trim(std::string(" \t ")), "");
  EXPECT_EQ(trim(std::wstring(L"\u00a0x ")), L"\u00a0x");

  EXPECT_EQ(replaceAll("aa", "a", "aa"), "aaaa");  // never searches the replacement
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");

  unsigned value = 99;
  EXPECT_EQ(parseHex("1g", &value, 2), 1);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(parseHex("fFfFfFfF0", &value, 8), 8);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(parseHex("x", &value, 8), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_DEATH(parseHex("123456789", &value, 9), "numChars <= 8");
}

TEST(StringUtilTest, SplitSkipsEmptyTokensTheTokenizerKeepsATrailingOne)
{
  std::vector<std::string> out{"kept"};
  split(",,a,,b,", ",", out);
  split(",,,", ",", out);
  split("mp4;mkv avi", "; ", out);
  EXPECT_EQ(out, (std::vector<std::string>{"kept", "a", "b", "mp4", "mkv", "avi"}));

  const struct {
    const wchar_t* text;
    std::vector<std::wstring> tokens;
  } cases[] = {{L"a,b,", {L"a", L"b", L""}}, {L",a", {L"a"}}, {L";;x;,;y", {L"x", L"y"}}, {L"", {L""}}};
  for (const auto& c : cases) {
    StringTokenizer tokenizer(c.text, L",;");
    std::vector<std::wstring> seen;
    for (std::wstring token; tokenizer.next(token);)
      seen.push_back(token);
    EXPECT_EQ(seen, c.tokens) << toUtf8(c.text);
  }
}

TEST(ReadFileTest, OneMebibyteIsTheLimitAndFailuresLeaveTheOutputAlone)
{
  TestFolder folder;
  std::wstring path = folder.file(L"big \u00e9t\u00e9.bin", std::string(MAX_READ_FILE_SIZE, 'x'));
  std::string out = "old";
  EXPECT_TRUE(readFile(path, out));
  EXPECT_EQ(out.size(), MAX_READ_FILE_SIZE + 3);
  EXPECT_EQ(out.substr(0, 4), "oldx");

  folder.file(L"big \u00e9t\u00e9.bin", std::string(MAX_READ_FILE_SIZE + 1, 'x'));
  out = "old";
  EXPECT_FALSE(readFile(path, out));
  EXPECT_FALSE(readFile(folder.path(L"missing"), out));
  EXPECT_EQ(out, "old");

  std::wstring wide = L"replaced";
  EXPECT_TRUE(readFileWide(folder.file(L"\u65e5\u672c text.txt", "line 1\r\ncaf\xC3\xA9\r\n"), wide));
  EXPECT_EQ(wide, L"line 1\ncaf\u00e9\n");
}
