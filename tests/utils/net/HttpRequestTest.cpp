#include "CgiRequest.h"
#include "HttpLimits.h"
#include "HttpRequest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

int feedAll(RequestParser& parser, const std::string& text)
{
  return parser.feed(text.data(), static_cast<unsigned>(text.size()));
}

std::string summary(RequestParser& parser)
{
  return std::string(parser.method()) + "|" + parser.uri() + "|" + parser.path() + "|" + parser.query() + "|" +
         std::to_string(parser.contentLength()) + "|" + parser.body();
}

sockaddr_in address(const char* dotted, int port)
{
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = inet_addr(dotted);
  return a;
}

}

TEST(RequestParserTest, EveryPieceSizeGivesTheSameRequest)
{
  const std::string request =
      "POST /v/My%20Film+2.m3u8?ss=20&x=%41 HTTP/1.0\r\nContent-Type: Text/Plain\r\nX-A: 1\r\nx-a: 2\r\n"
      "Content-Length: 5\r\n\r\na=1&b";
  for (size_t piece = 1; piece <= request.size(); ++piece) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    RequestParser parser;
    int result = PARSE_INCOMPLETE;
    for (size_t at = 0; at < request.size(); at += piece) {
      ASSERT_EQ(result, PARSE_INCOMPLETE) << "completed before byte " << at;
      result = parser.feed(request.data() + at, static_cast<unsigned>(std::min(piece, request.size() - at)));
    }
    ASSERT_EQ(result, PARSE_COMPLETE);
    EXPECT_EQ(summary(parser), "POST|/v/My%20Film+2.m3u8?ss=20&x=%41|/v/My Film 2.m3u8|ss=20&x=%41|5|a=1&b");
    EXPECT_STREQ(parser.header("content-type"), "Text/Plain");
    EXPECT_EQ(parser.header("Content-Type"), nullptr) << "names are lower-cased";
    EXPECT_STREQ(parser.header("x-a"), "1") << "the first of a repeated name";
    EXPECT_EQ(parser.header("host"), nullptr);
  }
}

TEST(RequestParserTest, HostileAndOversizedHeads)
{
  struct Case {
    const char* what;
    std::string request;
    int result;
    bool refused;  // for a limit, not the syntax
  };
  std::string garbage;
  for (unsigned i = 0, seed = 12345; i < 4096; ++i)
    garbage += static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  std::string manyHeaders = "GET / HTTP/1.0\r\n";
  for (unsigned i = 0; i < MAX_HEADER_COUNT; ++i)
    manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  const Case cases[] = {
      {"CR alone in the request line", "GET / HTTP/1.0\rX\r\n\r\n", PARSE_BAD, false},
      {"CR alone in a value", "GET / HTTP/1.0\r\nHost: a\rb\r\n\r\n", PARSE_BAD, false},
      {"CR alone closing the head", "GET / HTTP/1.0\r\nHost: a\r\n\rX", PARSE_BAD, false},
      {"no space at all", "GET\r\n\r\n", PARSE_BAD, false},
      {"nothing after one space", "GET /\r\n\r\n", PARSE_BAD, false},
      {"binary garbage", garbage, PARSE_BAD, false},
      {"zero bytes", std::string(1000, '\0'), PARSE_INCOMPLETE, false},
      {"bare line feeds", "GET / HTTP/1.0\n\n\n\n", PARSE_INCOMPLETE, false},
      {"negative length", "POST / HTTP/1.0\r\nContent-Length: -1\r\n\r\n", PARSE_BAD, true},
      {"length not a number", "POST / HTTP/1.0\r\nContent-Length: 12abc\r\n\r\n", PARSE_BAD, true},
      {"length past 64 bits", "POST / HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n", PARSE_BAD, true},
      {"body over the request limit", "POST / HTTP/1.0\r\nContent-Length: 2097152\r\n\r\n", PARSE_BAD, true},
      {"body just within", "POST / HTTP/1.0\r\nContent-Length: 2000000\r\n\r\n", PARSE_INCOMPLETE, false},
      {"header count at the limit", manyHeaders + "\r\n", PARSE_COMPLETE, false},
      {"one header over", manyHeaders + "X-last: v\r\n\r\n", PARSE_BAD, true},
      {"long header line", "GET / HTTP/1.0\r\nX: " + std::string(MAX_HEAD_BYTES, 'a') + "\r\n\r\n", PARSE_BAD, true},
      {"long request line", "GET /" + std::string(MAX_HEAD_BYTES, 'a') + " HTTP/1.0\r\n\r\n", PARSE_BAD, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RequestParser parser;
    EXPECT_EQ(feedAll(parser, c.request), c.result);
    EXPECT_EQ(parser.refusal() != nullptr, c.refused);
    if (c.result == PARSE_BAD) {
      EXPECT_EQ(feedAll(parser, "\r\n\r\n"), PARSE_BAD) << "a bad request stays bad";
    }
  }

  RequestParser byteByByte;
  const std::string line = "GET / HTTP/1.0\r\nX: ";
  unsigned fed = static_cast<unsigned>(line.size());
  int result = feedAll(byteByByte, line);
  for (; result == PARSE_INCOMPLETE && fed < 2 * MAX_HEAD_BYTES; ++fed)
    result = byteByByte.feed("a", 1);
  EXPECT_EQ(result, PARSE_BAD);
  EXPECT_LE(fed, MAX_HEAD_BYTES + 1) << "the head limit holds when fed a byte at a time";
}

TEST(RequestParserTest, HeaderSpellingsHttpAllows)
{
  struct Case {
    const char* headers;
    const char* host;  // null: none
    const char* x;
  } cases[] = {
      {"Host:tv\r\nX: 1\r\n", "tv", "1"},
      {"Host: \t tv \t\r\nX:1 2 \r\n", "tv", "1 2"},
      {"X: \r\n", nullptr, ""},
      {"X:\r\n", nullptr, ""},
      {"X: \r\nHost: tv\r\n", "tv", ""},
      {"X:\r\nHost:\r\n", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headers);
    RequestParser parser;
    ASSERT_EQ(feedAll(parser, std::string("GET / HTTP/1.0\r\n") + c.headers + "\r\n"), PARSE_COMPLETE);
    EXPECT_STREQ(parser.header("host"), c.host);
    EXPECT_STREQ(parser.header("x"), c.x);
  }
}

namespace {

class HttpRequestTest : public ::testing::Test {
protected:
  // Parses the request and wraps it as handlers see it.
  HttpRequest& make(const std::string& text, const char* local = "10.0.0.5")
  {
    _request.reset();
    _parser.reset(new RequestParser);
    EXPECT_EQ(feedAll(*_parser, text), PARSE_COMPLETE) << text;
    _request.reset(new HttpRequest(_parser.get(), address("192.168.7.9", 50123), address(local, 1025)));
    return *_request;
  }

  std::unique_ptr<RequestParser> _parser;
  std::unique_ptr<HttpRequest> _request;
};

}

TEST_F(HttpRequestTest, HeadersHostOriginAndParams)
{
  HttpRequest& request = make("GET / HTTP/1.0\r\nHost: tv.local:1025\r\n\r\n");
  EXPECT_STREQ(request.header("host", nullptr), "tv.local:1025");
  EXPECT_STREQ(request.header("referer", "-"), "-");
  EXPECT_EQ(request.remoteAddress(), "192.168.7.9");
  EXPECT_EQ(request.host(), "tv.local:1025");

  HttpRequest& bare = make("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(bare.host(), "10.0.0.5:1025") << "no Host: this end's address and port";

  HttpRequest& query = make("GET /db?a=1&b=x+y%21 HTTP/1.0\r\n\r\n");
  CgiRequest* params = query.params();
  EXPECT_STREQ(params->getValue("a"), "1");
  EXPECT_STREQ(params->getValue("b"), "x y!");
  EXPECT_EQ(query.params(), params) << "made once";

  EXPECT_STREQ(make("POST /db?a=query HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                    "Content-Length: 9\r\n\r\na=posted&")
                   .params()
                   ->getValue("a"),
               "posted");

  struct Origin {
    const char* header;  // null: none sent
    const char* local;
    bool own;
  } origins[] = {
      {nullptr, "10.0.0.5", true},
      {"http://10.0.0.5:1025", "10.0.0.5", true},
      {"http://localhost:1025", "127.0.0.1", true},
      {"http://evil.example", "10.0.0.5", false},
      {"http://10.0.0.5:1026", "10.0.0.5", false},
      {"http://10.0.0.5:1025.evil.example", "10.0.0.5", false},
      {"https://10.0.0.5:1025", "10.0.0.5", false},
      {"http://localhost:1025", "10.0.0.5", false},  // another computer's localhost
      {"null", "10.0.0.5", false},
  };
  for (const Origin& o : origins) {
    std::string header = o.header ? std::string("Origin: ") + o.header + "\r\n" : "";
    EXPECT_EQ(make("POST /db HTTP/1.0\r\n" + header + "\r\n", o.local).comesFromOwnOrigin(), o.own)
        << (o.header ? o.header : "none") << " on " << o.local;
  }

  _putenv("QUERY_STRING=a=environment");
  EXPECT_EQ(make("POST /db HTTP/1.0\r\n\r\n").params()->getItemCount(), 0) << "no body, no params";
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
      {"/?v=2", L"C:\\web\\index.html"},
      {"/index.html?v=2&x=/../y", L"C:\\web\\index.html"},
      {"/css/site.css", L"C:\\web\\css/site.css"},
      {"/a%20b.png", L"C:\\web\\a%20b.png"},  // escapes stay as they are
      {"/%2e%2e/secret", L"C:\\web\\%2e%2e/secret"},  // a literal name, not a parent step
      {"/caf\xc3\xa9.html", L"C:\\web\\caf\u00e9.html"},
      {"/\xc0\xae\xc0\xae/x", L"C:\\web\\\ufffd\ufffd\ufffd\ufffd/x"},  // over-long dots are no dots
      {"/console.html", L"C:\\web\\console.html"},
      {"/..", nullptr},
      {"/a/../../x", nullptr},
      {"/a..b", nullptr},
      {"/..%2fsecret", nullptr},
      {"//server/share/x", nullptr},
      {"/\\..\\x", nullptr},
      {"/C:/Windows/win.ini", nullptr},
      {"/Z:/etc/passwd", nullptr},
      {"/\\\\?\\Z:\\etc\\passwd", nullptr},
      {"/index.html:stream", nullptr},
      {"/CON", nullptr},
      {"/sub/nul.txt", nullptr},
      {"/lpt9.html", nullptr},
      {"index.html", nullptr},  // not a path
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::wstring out = L"unchanged";
    EXPECT_EQ(make(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n").mapToFile(L"C:\\web", out), c.file != nullptr);
    EXPECT_EQ(out, c.file ? c.file : L"unchanged");
  }
  std::wstring out;
  ASSERT_TRUE(make("GET / HTTP/1.0\r\n\r\n").mapToFile(L".", out));
  EXPECT_EQ(out, L".\\index.html");
}
