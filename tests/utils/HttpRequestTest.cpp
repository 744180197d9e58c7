#include "CgiRequest.h"
#include "HttpLimits.h"
#include "HttpRequest.h"
#include "Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> logLines;

void recordLine(const char*, const char* text)
{
  logLines.emplace_back(text);
}

int feedAll(RequestParser& parser, const std::string& text)
{
  return parser.feed(text.data(), static_cast<unsigned>(text.size()));
}

// Feeds in pieces of the given size; every piece but the last must leave the
// request incomplete.
int feedInPieces(RequestParser& parser, const std::string& text, size_t piece)
{
  int result = PARSE_INCOMPLETE;
  for (size_t at = 0; at < text.size(); at += piece) {
    EXPECT_EQ(result, PARSE_INCOMPLETE) << "completed early, before byte " << at;
    result = parser.feed(text.data() + at, static_cast<unsigned>(std::min(piece, text.size() - at)));
  }
  return result;
}

sockaddr_in address(const char* dotted, int port)
{
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = inet_addr(dotted);
  return a;
}

const std::string SIMPLE_GET = "GET / HTTP/1.0\r\n\r\n";
const std::string POST_HEAD = "POST /db HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 5\r\n\r\n";

}

TEST(RequestParserTest, SimpleGetInOneChunk)
{
  RequestParser parser;
  ASSERT_EQ(feedAll(parser, SIMPLE_GET), PARSE_COMPLETE);
  EXPECT_STREQ(parser.method(), "GET");
  EXPECT_STREQ(parser.uri(), "/");
  EXPECT_EQ(parser.header("host"), nullptr);
  EXPECT_EQ(parser.contentLength(), 0);
  EXPECT_EQ(parser.body(), nullptr);
}

TEST(RequestParserTest, OneByteAtATimeCompletesOnTheLastByte)
{
  const std::string request = "GET /a?b=c HTTP/1.0\r\nHost: example:1025\r\nUser-Agent: test\r\n\r\n";
  RequestParser parser;
  EXPECT_EQ(feedInPieces(parser, request, 1), PARSE_COMPLETE);
  EXPECT_STREQ(parser.uri(), "/a?b=c");
  EXPECT_STREQ(parser.header("host"), "example:1025");
  EXPECT_STREQ(parser.header("user-agent"), "test");
}

TEST(RequestParserTest, BodyInEveryPieceSizeIsTheSame)
{
  const std::string request = POST_HEAD + "a=1&b";
  for (size_t piece = 1; piece <= request.size(); ++piece) {
    RequestParser parser;
    ASSERT_EQ(feedInPieces(parser, request, piece), PARSE_COMPLETE) << "pieces of " << piece;
    ASSERT_NE(parser.body(), nullptr);
    EXPECT_EQ(std::string(parser.body()), "a=1&b");
  }
}

TEST(RequestParserTest, HeadAloneWaitsForTheBodyAcrossTheBorder)
{
  RequestParser parser;
  EXPECT_EQ(feedAll(parser, POST_HEAD), PARSE_INCOMPLETE);
  EXPECT_EQ(feedAll(parser, "a=1"), PARSE_INCOMPLETE);
  EXPECT_EQ(feedAll(parser, "&b"), PARSE_COMPLETE);
  EXPECT_EQ(parser.contentLength(), 5);
  EXPECT_STREQ(parser.header("content-type"), "application/x-www-form-urlencoded");
}

TEST(RequestParserTest, SurplusBodyBytesAreCutAndLogged)
{
  logLines.clear();
  LogSetSink(recordLine);
  RequestParser parser;
  EXPECT_EQ(feedAll(parser, POST_HEAD + "a=1&bEXTRA"), PARSE_COMPLETE);
  LogSetSink(nullptr);
  EXPECT_EQ(std::string(parser.body()), "a=1&b");
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_NE(logLines[0].find("Correct data length to 5 (ContentLength=5 ContentStart="), std::string::npos);
  // Bytes after completion are ignored.
  EXPECT_EQ(feedAll(parser, "more"), PARSE_COMPLETE);
  EXPECT_EQ(std::string(parser.body()), "a=1&b");
}

TEST(RequestParserTest, HeaderNamesAreLowerCasedValuesKeepTheirCase)
{
  RequestParser parser;
  ASSERT_EQ(feedAll(parser, "GET / HTTP/1.0\r\nContent-Type: Text/Plain\r\nX-A: 1\r\nx-a: 2\r\n\r\n"), PARSE_COMPLETE);
  EXPECT_STREQ(parser.header("content-type"), "Text/Plain");
  EXPECT_EQ(parser.header("Content-Type"), nullptr);
  EXPECT_STREQ(parser.header("x-a"), "1");  // the first of a repeated name
}

TEST(RequestParserTest, PathIsDecodedQueryIsNot)
{
  RequestParser parser;
  ASSERT_EQ(feedAll(parser, "GET /v/My%20Film+2.m3u8?ss=20&x=%41 HTTP/1.0\r\n\r\n"), PARSE_COMPLETE);
  EXPECT_STREQ(parser.path(), "/v/My Film 2.m3u8");
  EXPECT_STREQ(parser.query(), "ss=20&x=%41");
  EXPECT_STREQ(parser.uri(), "/v/My%20Film+2.m3u8?ss=20&x=%41");
}

TEST(RequestParserTest, MalformedHeadsAreBad)
{
  const char* const cases[] = {
      "GET / HTTP/1.0\rX\r\n\r\n",                  // CR without LF in the request line
      "GET / HTTP/1.0\r\nHost:example\r\n\r\n",     // no space after the colon
      "GET / HTTP/1.0\r\nHost: a\rb\r\n\r\n",       // CR without LF after a value
      "GET / HTTP/1.0\r\nHost: a\r\n\rX",           // CR without LF closing the head
      "GET\r\n\r\n",                                // no space at all
      "GET /\r\n\r\n",                              // one space and nothing to find after it
      "POST / HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
      "POST / HTTP/1.0\r\nContent-Length: 12abc\r\n\r\n",
      "POST / HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n",
  };
  for (const char* request : cases) {
    RequestParser parser;
    EXPECT_EQ(parser.feed(request, static_cast<unsigned>(strlen(request))), PARSE_BAD) << request;
    EXPECT_EQ(feedAll(parser, "\r\n\r\n"), PARSE_BAD) << "a bad request stays bad";
  }
}

TEST(RequestParserTest, BinaryGarbageIsBadOrIncompleteNeverAccepted)
{
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 4096; ++i) {
    seed = seed * 1103515245 + 12345;
    garbage += static_cast<char>(seed >> 16);
  }
  RequestParser parser;
  EXPECT_NE(feedAll(parser, garbage), PARSE_COMPLETE);
  RequestParser zeros;
  EXPECT_EQ(feedAll(zeros, std::string(1000, '\0')), PARSE_INCOMPLETE);
}

TEST(RequestParserTest, BareLineFeedsNeverComplete)
{
  RequestParser parser;
  EXPECT_EQ(feedAll(parser, "GET / HTTP/1.0\n\n\n\n"), PARSE_INCOMPLETE);
}

TEST(RequestParserTest, EmptyValueSwallowsTheNextLine)
{
  RequestParser parser;
  ASSERT_EQ(feedAll(parser, "GET / HTTP/1.0\r\nX-Empty: \r\nHost: h\r\n\r\n\r\n"), PARSE_COMPLETE);
  EXPECT_STREQ(parser.header("x-empty"), "\r\nHost: h");
  EXPECT_EQ(parser.header("host"), nullptr);
}

TEST(RequestParserTest, SingleSpaceRequestLineTakesItsSecondSpaceFromAHeader)
{
  RequestParser parser;
  ASSERT_EQ(feedAll(parser, "GET /x\r\nHost: h\r\n\r\n"), PARSE_COMPLETE);
  EXPECT_STREQ(parser.method(), "GET");
  EXPECT_STREQ(parser.uri(), "/x");
  EXPECT_STREQ(parser.header("host"), "h");
}

TEST(RequestParserTest, LimitsRefuseWithAReason)
{
  struct Case {
    const char* what;
    std::string request;
    bool refused;
  };
  std::string manyHeaders = "GET / HTTP/1.0\r\n";
  for (unsigned i = 0; i < MAX_HEADER_COUNT; ++i)
    manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  const Case cases[] = {
      {"header count at the limit", manyHeaders + "\r\n", false},
      {"one header over", manyHeaders + "X-last: v\r\n\r\n", true},
      {"long header line", "GET / HTTP/1.0\r\nX: " + std::string(MAX_HEAD_BYTES, 'a') + "\r\n\r\n", true},
      {"long request line", "GET /" + std::string(MAX_HEAD_BYTES, 'a') + " HTTP/1.0\r\n\r\n", true},
      {"body over the request limit", "POST / HTTP/1.0\r\nContent-Length: 2097152\r\n\r\n", true},
      {"body just within", "POST / HTTP/1.0\r\nContent-Length: 2000000\r\n\r\n", false},
  };
  for (const Case& c : cases) {
    RequestParser parser;
    int result = feedAll(parser, c.request);
    if (c.refused) {
      EXPECT_EQ(result, PARSE_BAD) << c.what;
      EXPECT_NE(parser.refusal(), nullptr) << c.what;
    } else {
      EXPECT_NE(result, PARSE_BAD) << c.what;
      EXPECT_EQ(parser.refusal(), nullptr) << c.what;
    }
  }
}

TEST(RequestParserTest, HeadLimitHoldsWhenFedByteByByte)
{
  RequestParser parser;
  const std::string line = "GET / HTTP/1.0\r\nX: ";
  int result = feedAll(parser, line);
  unsigned fed = static_cast<unsigned>(line.size());
  while (result == PARSE_INCOMPLETE && fed < 2 * MAX_HEAD_BYTES) {
    result = parser.feed("a", 1);
    ++fed;
  }
  EXPECT_EQ(result, PARSE_BAD);
  EXPECT_LE(fed, MAX_HEAD_BYTES + 1);
}

namespace {

class HttpRequestTest : public ::testing::Test {
protected:
  // Parses the request and wraps it as handlers see it.
  HttpRequest& make(const std::string& text)
  {
    EXPECT_EQ(feedAll(_parser, text), PARSE_COMPLETE) << text;
    _request.reset(new HttpRequest(&_parser, address("192.168.7.9", 50123), address("10.0.0.5", 1025)));
    return *_request;
  }

  RequestParser _parser;
  std::unique_ptr<HttpRequest> _request;
};

}

TEST_F(HttpRequestTest, HeaderFallbackAndAddresses)
{
  HttpRequest& request = make("GET / HTTP/1.0\r\nHost: tv.local:1025\r\n\r\n");
  EXPECT_STREQ(request.header("host", nullptr), "tv.local:1025");
  EXPECT_STREQ(request.header("referer", "-"), "-");
  EXPECT_EQ(request.remoteAddress(), "192.168.7.9");
  EXPECT_EQ(request.host(), "tv.local:1025");
}

TEST_F(HttpRequestTest, NoHostHeaderGivesTheLocalAddressAndPort)
{
  EXPECT_EQ(make(SIMPLE_GET).host(), "10.0.0.5:1025");
}

TEST_F(HttpRequestTest, CookiesBySubstring)
{
  HttpRequest& request = make("GET / HTTP/1.0\r\nCookie: sid=1; id=2;x=3\r\n\r\n");
  std::string value;
  ASSERT_TRUE(request.getCookie("id", value));
  EXPECT_EQ(value, "1");  // the tail of "sid" is found first
  ASSERT_TRUE(request.getCookie("x", value));
  EXPECT_EQ(value, "3");
  EXPECT_FALSE(request.getCookie("none", value));

  RequestParser bare;
  feedAll(bare, SIMPLE_GET);
  EXPECT_FALSE(HttpRequest(&bare, address("127.0.0.1", 1), address("127.0.0.1", 2)).getCookie("id", value));
}

TEST_F(HttpRequestTest, ParamsFromTheQuery)
{
  HttpRequest& request = make("GET /db?a=1&b=x+y%21 HTTP/1.0\r\n\r\n");
  CgiRequest* params = request.params();
  EXPECT_STREQ(params->getValue("a"), "1");
  EXPECT_STREQ(params->getValue("b"), "x y!");
  EXPECT_EQ(request.params(), params) << "made once";
}

TEST_F(HttpRequestTest, ParamsFromAPostedFormNotTheQuery)
{
  HttpRequest& request = make(
      "POST /db?a=query HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 9\r\n\r\n"
      "a=posted&");
  EXPECT_STREQ(request.params()->getValue("a"), "posted");
}

TEST_F(HttpRequestTest, PostWithoutBodyHasNoParamsEvenWithAQueryStringVariable)
{
  _putenv("QUERY_STRING=a=environment");
  HttpRequest& request = make("POST /db HTTP/1.0\r\n\r\n");
  EXPECT_EQ(request.params()->getItemCount(), 0);
  _putenv("QUERY_STRING=");
}

TEST_F(HttpRequestTest, MapToFileStaysUnderTheRoot)
{
  struct Case {
    const char* target;
    const wchar_t* file;  // null: refused
  };
  const Case cases[] = {
      {"/", L"C:\\web\\index.html"},
      {"/configure.html", L"C:\\web\\configure.html"},
      {"/css/site.css", L"C:\\web\\css/site.css"},
      {"/a%20b.png", L"C:\\web\\a%20b.png"},        // escapes stay as they are
      {"/index.html?x=1", L"C:\\web\\index.html?x=1"},
      {"/%2e%2e/secret", L"C:\\web\\%2e%2e/secret"},  // a literal name, not a parent step
      {"/caf\xc3\xa9.html", L"C:\\web\\caf\u00e9.html"},
      {"/..", nullptr},
      {"/../x", nullptr},
      {"/a/../../x", nullptr},
      {"/a..b", nullptr},
      {"//server/share/x", nullptr},
      {"/\\server\\share\\x", nullptr},
      {"/\\..\\x", nullptr},
      {"/C:/Windows/win.ini", nullptr},
      {"/Z:/etc/passwd", nullptr},
      {"/index.html:stream", nullptr},
      {"/CON", nullptr},
      {"/sub/nul.txt", nullptr},
      {"/com1", nullptr},
      {"/lpt9.html", nullptr},
      {"index.html", nullptr},                       // not a path
      {"*", nullptr},
      {"/console.html", L"C:\\web\\console.html"},
  };
  for (const Case& c : cases) {
    RequestParser parser;
    std::string text = std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n";
    ASSERT_EQ(feedAll(parser, text), PARSE_COMPLETE) << c.target;
    HttpRequest request(&parser, address("127.0.0.1", 1), address("127.0.0.1", 2));
    std::wstring out = L"unchanged";
    bool mapped = request.mapToFile(L"C:\\web", out);
    if (c.file) {
      EXPECT_TRUE(mapped) << c.target;
      EXPECT_EQ(out, c.file) << c.target;
    } else {
      EXPECT_FALSE(mapped) << c.target;
      EXPECT_EQ(out, L"unchanged") << c.target;
    }
  }
}

TEST_F(HttpRequestTest, OverLongDotsNeverBecomeAParentStep)
{
  std::wstring out;
  if (make("GET /\xc0\xae\xc0\xae/x HTTP/1.0\r\n\r\n").mapToFile(L"C:\\web", out)) {
    EXPECT_EQ(out.find(L".."), std::wstring::npos);
  }
}

TEST_F(HttpRequestTest, MapToFileUnderTheWorkingDirectory)
{
  std::wstring out;
  ASSERT_TRUE(make(SIMPLE_GET).mapToFile(L".", out));
  EXPECT_EQ(out, L".\\index.html");
}
