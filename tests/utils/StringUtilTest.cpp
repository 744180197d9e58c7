#include "StringUtil.h"

#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const wchar_t FFFD = 0xFFFD;

// The platform's own encoder: an independent judge of our output.
std::string systemUtf8(const std::wstring& text)
{
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

std::wstring replacements(int count)
{
  return std::wstring(count, FFFD);
}

std::wstring decodeAtEdge(PageEdge& edge, const std::string& bytes)
{
  const char* text = edge.placeText(bytes);
  int count = utf8ToUtf16(text, nullptr);
  std::wstring out(count, L'?');
  EXPECT_EQ(utf8ToUtf16(text, &out[0]), count);
  return out;
}

std::wstring uniqueTempPath(const wchar_t* name)
{
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + std::to_wstring(GetCurrentProcessId()) + L" " + name;
}

void writeBytes(const std::wstring& path, const std::string& bytes)
{
  FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
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

TEST(Utf8CodecTest, KnownSequences)
{
  EXPECT_EQ(toWide("\xE2\x82\xAC"), L"\u20AC");
  EXPECT_EQ(toUtf8(L"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(toWide("\xF0\x9F\x98\x80"), std::wstring(L"\xD83D\xDE00"));
  EXPECT_EQ(toUtf8(std::wstring(L"\xD83D\xDE00")), "\xF0\x9F\x98\x80");
  EXPECT_EQ(toWide("\xF4\x8F\xBF\xBF"), std::wstring(L"\xDBFF\xDFFF"));
  EXPECT_EQ(toWide("caf\xC3\xA9 \xE6\x97\xA5"), L"caf\u00e9 \u65e5");
  EXPECT_EQ(toWide(""), L"");
  EXPECT_EQ(toUtf8(L""), "");
}

TEST(Utf8CodecTest, MalformedBytesBecomeOneReplacementEach)
{
  EXPECT_EQ(toWide("\xE2\x82"), replacements(2));
  EXPECT_EQ(toWide("a\x80" "b"), std::wstring(L"a") + FFFD + L"b");
  EXPECT_EQ(toWide("\xBF\xBF"), replacements(2));
  EXPECT_EQ(toWide("\xE2\x82" "A"), replacements(2) + L"A");  // the A is not swallowed
  EXPECT_EQ(toWide("\xF8\x88\x80\x80\x80"), replacements(5));
  EXPECT_EQ(toWide("\xFF\xFE"), replacements(2));
  EXPECT_EQ(toWide("\xF4\x90\x80\x80"), replacements(4));  // beyond U+10FFFF
}

TEST(Utf8CodecTest, OverlongFormsAndEncodedSurrogatesAreRefused)
{
  // Other spellings of '.', ':', '/' and NUL must not decode to them.
  EXPECT_EQ(toWide("\xC0\xAE\xC0\xAE"), replacements(4));
  EXPECT_EQ(toWide("\xC0\xBA"), replacements(2));
  EXPECT_EQ(toWide("\xE0\x80\xAF"), replacements(3));
  EXPECT_EQ(toWide("\xF0\x80\x80\xAF"), replacements(4));
  std::wstring nul = toWide("a\xC0\x80" "b");
  EXPECT_EQ(nul, std::wstring(L"a") + FFFD + FFFD + L"b");
  EXPECT_EQ(toWide("\xC1\xBF"), replacements(2));
  EXPECT_EQ(toWide("\xE0\x9F\xBF"), replacements(3));
  EXPECT_EQ(toWide("\xF0\x8F\xBF\xBF"), replacements(4));
  // The smallest values of each length are fine.
  EXPECT_EQ(toWide("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"), std::wstring(L"\x0080\x0800\xD800\xDC00"));
  // Surrogates spelled in UTF-8, alone or as a pair.
  EXPECT_EQ(toWide("\xED\xA0\xBD\xED\xB8\x80"), replacements(6));
  EXPECT_EQ(toWide("\xED\xBF\xBF"), replacements(3));
  EXPECT_EQ(toWide("\xED\x9F\xBF"), L"\uD7FF");
}

TEST(Utf8CodecTest, UnpairedSurrogatesEncodeAsReplacement)
{
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(toUtf8(std::wstring(L"\xD800")), replacement);
  EXPECT_EQ(toUtf8(std::wstring(L"\xDC00\xD800")), replacement + replacement);
  EXPECT_EQ(toUtf8(std::wstring(L"a\xD83D" L"b")), "a" + replacement + "b");
  EXPECT_EQ(toUtf8(std::wstring(L"\xD83D\xD83D\xDE00")), replacement + "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8(L"\xDBFF", nullptr), 3);
}

TEST(Utf8CodecTest, TruncatedSequencesAtTheEndOfMemoryAreNotReadPast)
{
  PageEdge edge;
  const std::string whole[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  for (const std::string& sequence : whole) {
    for (size_t keep = 1; keep < sequence.size(); ++keep)
      EXPECT_EQ(decodeAtEdge(edge, sequence.substr(0, keep)), replacements(static_cast<int>(keep)));
    EXPECT_EQ(decodeAtEdge(edge, sequence), toWide(sequence));
  }
  EXPECT_EQ(decodeAtEdge(edge, ""), L"");
}

TEST(Utf8CodecTest, CountingAgreesWithWritingAndHoldersHaveRoom)
{
  // The worst cases for the holders' buffers: 3 bytes per unit, and a
  // replacement for every byte.
  std::wstring wide(1000, L'\uFFFF');
  Utf8FromWide utf8(wide);
  EXPECT_EQ(strlen(utf8.get()), 3000u);
  EXPECT_EQ(utf16ToUtf8(wide.c_str(), nullptr), 3000);
  std::string bad(1000, '\x80');
  WideFromUtf8 decoded(bad);
  EXPECT_EQ(wcslen(decoded.get()), 1000u);
  EXPECT_EQ(utf8ToUtf16(bad.c_str(), nullptr), 1000);
  Utf8FromWide none(static_cast<const wchar_t*>(nullptr));
  EXPECT_STREQ(none.get(), "");
}

TEST(StringUtilTest, StartsAndEndsWith)
{
  EXPECT_FALSE(endsWith(std::string("a"), std::string("abc")));
  EXPECT_TRUE(endsWith(std::string("anything"), std::string()));
  EXPECT_TRUE(endsWith(std::wstring(L"video.m3u8"), std::wstring(L".m3u8")));
  EXPECT_FALSE(endsWith(std::wstring(L"video.M3U8"), std::wstring(L".m3u8")));
  EXPECT_TRUE(startsWith(std::string("/v/x"), std::string("/v/")));
  EXPECT_FALSE(startsWith(std::string("/v"), std::string("/v/")));
  EXPECT_TRUE(startsWith(std::wstring(), std::wstring()));
}

TEST(StringUtilTest, TrimmingRemovesOnlyTheFourBlanks)
{
  EXPECT_EQ(trim(std::string(" \t\r\nkey = value\n")), "key = value");
  EXPECT_EQ(trim(std::string(" \t ")), "");
  EXPECT_EQ(trim(std::wstring(L"\u00a0x ")), L"\u00a0x");
  char text[] = "  \tmiddle words \r\n";
  trimInPlace(text);
  EXPECT_STREQ(text, "middle words");
  char blank[] = " \n ";
  trimInPlace(blank);
  EXPECT_STREQ(blank, "");
}

TEST(StringUtilTest, Unquote)
{
  EXPECT_EQ(unquote(L"\"C:\\My Videos\""), L"C:\\My Videos");
  EXPECT_EQ(unquote(L"\"\""), L"");
  EXPECT_EQ(unquote(L"\""), L"\"");
  EXPECT_EQ(unquote(L"\"open"), L"\"open");
}

TEST(StringUtilTest, EscapingForHtmlJsonAndBackslashes)
{
  EXPECT_EQ(toHtmlEntities(std::wstring(L"<caf\u00e9>&")), "<caf&#233;>&");
  EXPECT_EQ(toHtmlEntities(std::string("\xF0\x9F\x98\x80")), "&#55357;&#56832;");
  EXPECT_EQ(toUnicodeEscapes(L"a\u00e9\u20AC"), "a\\u00e9\\u20ac");
  EXPECT_EQ(unescapeBackslashes(L"a\\nb\\\\c\\\"d\\"), L"a\nb\\c\"d");
}

TEST(StringUtilTest, ReplaceAllNeverSearchesTheReplacement)
{
  EXPECT_EQ(replaceAll("aa", "a", "aa"), "aaaa");
  EXPECT_EQ(replaceAll("a-b-c", "-", ""), "abc");
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(reversed("abc"), "cba");
}

TEST(StringUtilTest, ExpandCarriageReturnsChecksCapacity)
{
  char text[8] = "a\rb\r";
  EXPECT_FALSE(expandCarriageReturns(text, 6));  // needs 4 + 2 + 1 = 7
  EXPECT_STREQ(text, "a\rb\r");
  EXPECT_TRUE(expandCarriageReturns(text, 7));
  EXPECT_STREQ(text, "a\r\nb\r\n");
}

TEST(StringUtilTest, FindOutsideQuotes)
{
  const wchar_t* text = L"\"a=b\" c=d";
  EXPECT_EQ(findOutsideQuotes(text, L"="), text + 7);
  const wchar_t* escaped = L"\"x\\\"=\"=";  // the escaped quote does not close
  EXPECT_EQ(findOutsideQuotes(escaped, L"="), escaped + 6);
  EXPECT_EQ(findOutsideQuotes(L"\"=\"", L"="), nullptr);
  EXPECT_EQ(findOutsideQuotes(L"abc", L"x"), nullptr);
}

TEST(StringUtilTest, ParseHex)
{
  unsigned value = 99;
  EXPECT_EQ(parseHex("1g", &value, 2), 1);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(parseHex("fFfFfFfF0", &value, 8), 8);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(parseHex("x", &value, 8), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_DEATH(parseHex("123456789", &value, 9), "numChars <= 8");
}

TEST(Base64UrlTest, EncodesAndDecodes)
{
  EXPECT_EQ(base64UrlEncode("abc"), "YWJj");
  EXPECT_EQ(base64UrlEncode("a"), "YQ");
  EXPECT_EQ(base64UrlDecode("YQ"), "a");
  EXPECT_EQ(base64UrlEncode(std::string("\xFB\xFF", 2)), "-_8");
  EXPECT_EQ(base64UrlDecode("YW Jj=\n"), "abc");
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes += static_cast<char>(i);
  for (size_t length = 0; length <= bytes.size(); length += 37)
    EXPECT_EQ(base64UrlDecode(base64UrlEncode(bytes.substr(0, length))), bytes.substr(0, length));
}

TEST(SplitTest, RunsOfDelimitersGiveNoEmptyTokens)
{
  std::vector<std::string> out{"kept"};
  const char text[] = ",,a,,b,";
  split(text, ",", out);
  EXPECT_EQ(out, (std::vector<std::string>{"kept", "a", "b"}));
  EXPECT_STREQ(text, ",,a,,b,");
  out.clear();
  split("mp4;mkv avi", "; ", out);
  EXPECT_EQ(out, (std::vector<std::string>{"mp4", "mkv", "avi"}));
  out.clear();
  split(",,,", ",", out);
  EXPECT_TRUE(out.empty());
}

TEST(StringTokenizerTest, TrailingDelimiterGivesALastEmptyToken)
{
  StringTokenizer tokens(L"a,b,", L",");
  std::wstring token;
  ASSERT_TRUE(tokens.next(token));
  EXPECT_EQ(token, L"a");
  ASSERT_TRUE(tokens.next(token));
  EXPECT_EQ(token, L"b");
  ASSERT_TRUE(tokens.next(token));
  EXPECT_EQ(token, L"");
  EXPECT_FALSE(tokens.next(token));
}

TEST(StringTokenizerTest, LeadingAndRepeatedDelimitersAreSkipped)
{
  std::wstring token;
  StringTokenizer leading(L",a", L",");
  ASSERT_TRUE(leading.next(token));
  EXPECT_EQ(token, L"a");
  EXPECT_FALSE(leading.next(token));

  StringTokenizer runs(L";;x;,;y", L";,");
  std::vector<std::wstring> seen;
  while (runs.next(token))
    seen.push_back(token);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"x", L"y"}));

  StringTokenizer empty(L"", L",");
  ASSERT_TRUE(empty.next(token));
  EXPECT_EQ(token, L"");
  EXPECT_FALSE(empty.next(token));
}

TEST(ReadFileTest, OneMebibyteIsTheLimit)
{
  std::wstring path = uniqueTempPath(L"big \u00e9t\u00e9.bin");
  writeBytes(path, std::string(MAX_READ_FILE_SIZE, 'x'));
  std::string out = "old";
  EXPECT_TRUE(readFile(path, out));
  EXPECT_EQ(out.size(), MAX_READ_FILE_SIZE + 3);
  EXPECT_EQ(out.substr(0, 4), "oldx");

  writeBytes(path, std::string(MAX_READ_FILE_SIZE + 1, 'x'));
  out = "old";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(readFile(path, out));
  std::string message = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "old");
  EXPECT_EQ(message, "File too large: " + toUtf8(path) + "\n");
  DeleteFileW(path.c_str());
}

TEST(ReadFileTest, TextModeAndMissingFiles)
{
  std::wstring path = uniqueTempPath(L"\u65e5\u672c text.txt");
  writeBytes(path, "line 1\r\ncaf\xC3\xA9\r\n");
  std::wstring wide = L"replaced";
  EXPECT_TRUE(readFileWide(path, wide));
  EXPECT_EQ(wide, L"line 1\ncaf\u00e9\n");
  DeleteFileW(path.c_str());

  std::string out = "kept";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(readFile(path, out));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open " + toUtf8(path) + "\n");
  EXPECT_EQ(out, "kept");
}
