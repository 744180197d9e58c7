#include "CgiRequest.h"
#include "HttpLimits.h"
#include "HttpRequest.h"
#include "Socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

int feedAll(RequestParser& parser, const std::string& text)
{
  return parser.feed(text.data(), static_cast<unsigned>(text.size()));
}

}

TEST(RequestParserTest, EveryPieceSizeGivesTheSameRequest)
{
  const std::string request =
      "POST /v/My%20Film+2.m3u8?ss=20&x=%41 HTTP/1.0\r\nHost: \t tv \t\r\nX-A:1 2 \r\nx-a: 2\r\nY: \r\nZ:\r\n"
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
    EXPECT_EQ(std::string(parser.method()) + "|" + parser.uri() + "|" + parser.path() + "|" + parser.query() + "|" +
                  std::to_string(parser.contentLength()) + "|" + parser.body(),
              "POST|/v/My%20Film+2.m3u8?ss=20&x=%41|/v/My Film 2.m3u8|ss=20&x=%41|5|a=1&b");
    // Blanks and tabs around a value are no part of it; a value may be empty.
    EXPECT_STREQ(parser.header("host"), "tv");
    EXPECT_STREQ(parser.header("x-a"), "1 2") << "the first of a repeated name";
    EXPECT_STREQ(parser.header("y"), "");
    EXPECT_STREQ(parser.header("z"), "");
  }
}

TEST(RequestParserTest, HostileAndOversizedHeads)
{
  std::string manyHeaders = "GET / HTTP/1.0\r\n";
  for (unsigned i = 0; i < MAX_HEADER_COUNT; ++i)
    manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  const struct {
    const char* what;
    std::string request;
    int result;
  } cases[] = {
      {"CR alone in a value", "GET / HTTP/1.0\r\nHost: a\rb\r\n\r\n", PARSE_BAD},
      {"nothing after one space", "GET /\r\n\r\n", PARSE_BAD},
      // The request line's blanks are its own, not a header's or the body's.
      {"blanks in a header", "GET\r\nX-A: /index.html y\r\n\r\n", PARSE_BAD},
      {"one blank in a header", "GET /index.html\r\nUser-Agent: a b\r\n\r\n", PARSE_BAD},
      {"blanks after the head", "GET\r\n\r\nX /index.html Y", PARSE_BAD},
      {"line feeds alone end no line", "GET / HTTP/1.0\nHost: a\n\n", PARSE_BAD},
      {"length not a number", "POST / HTTP/1.0\r\nContent-Length: 12abc\r\n\r\n", PARSE_BAD},
      {"length past 64 bits", "POST / HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n", PARSE_BAD},
      {"body over the request limit", "POST / HTTP/1.0\r\nContent-Length: 2097152\r\n\r\n", PARSE_BAD},
      {"header count at the limit", manyHeaders + "\r\n", PARSE_COMPLETE},
      {"one header over", manyHeaders + "X-last: v\r\n\r\n", PARSE_BAD},
      {"long header line", "GET / HTTP/1.0\r\nX: " + std::string(MAX_HEAD_BYTES, 'a') + "\r\n\r\n", PARSE_BAD},
  };
  for (const auto& c : cases) {
    RequestParser parser;
    EXPECT_EQ(feedAll(parser, c.request), c.result) << c.what;
  }
  RequestParser twoPieces;
  feedAll(twoPieces, "GET\r\n\r\n");
  EXPECT_EQ(feedAll(twoPieces, "X /index.html Y"), PARSE_BAD) << "blanks after the head, arriving later";
}

namespace {

class HttpRequestTest : public ::testing::Test {
protected:
  // Parses the request and wraps it as handlers see it.
  HttpRequest& make(const std::string& text, const wchar_t* local = L"10.0.0.5:1025")
  {
    _parser.reset(new RequestParser);
    EXPECT_EQ(feedAll(*_parser, text), PARSE_COMPLETE) << text;
    sockaddr_in peer = SocketAddress(L"192.168.7.9:50123").get();
    _request.reset(new HttpRequest(_parser.get(), peer, SocketAddress(local).get()));
    return *_request;
  }

  std::unique_ptr<RequestParser> _parser;
  std::unique_ptr<HttpRequest> _request;
};

}

TEST_F(HttpRequestTest, HeadersHostOriginAndParams)
{
  struct Origin {
    const char* header;  // null: none sent
    const wchar_t* local;
    bool own;
  } origins[] = {
      {nullptr, L"10.0.0.5:1025", true},
      {"http://10.0.0.5:1025", L"10.0.0.5:1025", true},
      {"http://localhost:1025", L"127.0.0.1:1025", true},
      {"http://10.0.0.5", L"10.0.0.5:80", true},  // the default port goes unsaid
      {"http://10.0.0.5:1026", L"10.0.0.5:1025", false},
      {"http://10.0.0.5:1025.evil.example", L"10.0.0.5:1025", false},
      {"https://10.0.0.5:1025", L"10.0.0.5:1025", false},
      {"http://localhost:1025", L"10.0.0.5:1025", false},  // another computer's localhost
  };
  for (const Origin& o : origins) {
    std::string header = o.header ? std::string("Origin: ") + o.header + "\r\n" : "";
    EXPECT_EQ(make("POST /db HTTP/1.0\r\n" + header + "\r\n", o.local).comesFromOwnOrigin(), o.own)
        << (o.header ? o.header : "none");
  }

  _putenv("QUERY_STRING=a=environment");
  EXPECT_EQ(make("POST /db HTTP/1.0\r\n\r\n").params()->getItemCount(), 0) << "no body, no params";
  _putenv("QUERY_STRING=");
}

TEST_F(HttpRequestTest, MapToFileStaysUnderTheRoot)
{
  const struct {
    const char* target;
    const wchar_t* file;  // null: refused
  } cases[] = {
      {"/index.html?v=2&x=/../y", L"C:\\web\\index.html"},
      {"/a/../../x", nullptr},
      {"/C:/Windows/win.ini", nullptr},
      {"/\\\\server\\share\\x", nullptr},
      {"/sub/nul.txt", nullptr},
      {"/lpt9.html", nullptr},
      {"/CON .html", nullptr},  // the blank ends the target: "/CON"
      {"/nul%20.txt", L"C:\\web\\nul%20.txt"},  // taken as received: no device
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    std::wstring out = L"unchanged";
    EXPECT_EQ(make(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n").mapToFile(L"C:\\web", out), c.file != nullptr);
    EXPECT_EQ(out, c.file ? c.file : L"unchanged");
  }
}
