#include "HttpResponse.h"
#include "Log.h"
#include "Sink.h"
#include "LoopbackClient.h"
#include "Socket.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> logLines;

void recordLine(const char* key, const char* text)
{
  logLines.push_back(std::string(key) + ": " + text);
}

const std::string PAGE_404 =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>404 Not Found</title>\n"
    "</head><body>\n<h1>Not Found</h1>\n</body></html>\n";

// A response on the accepted end of a loopback connection; what the client
// end received once the response's socket is closed.
class HttpResponseTest : public ::testing::Test {
protected:
  HttpResponseTest() : _socket(new Socket(_pair.takeAccepted())), response(_socket) {}
  ~HttpResponseTest() override { delete _socket; }

  // Closes the response's end; the response must not send afterwards.
  std::string received()
  {
    delete _socket;
    _socket = nullptr;
    return _pair.client().receiveAll();
  }

  LoopbackPair _pair;
  Socket* _socket;

public:
  HttpResponse response;
};

std::wstring tempFile(const wchar_t* suffix, size_t size)
{
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  static int counter;
  std::wstring path = std::wstring(folder) + L"zv-response-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++counter) + suffix;
  FILE* file = _wfopen(path.c_str(), L"wb");
  for (size_t i = 0; i < size; ++i)
    fputc(static_cast<int>(i * 7 % 251), file);
  fclose(file);
  return path;
}

std::string bodyOf(const std::string& answer)
{
  size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

}

TEST_F(HttpResponseTest, WriteAloneSendsTheDefaultHeadFirst)
{
  response.setHeader("X-Seen", "yes");
  response.write("abc", 3).write("de", 2);
  EXPECT_TRUE(response.headersSent());
  EXPECT_EQ(received(), "HTTP/1.0 500 Internal Server Error\r\nX-Seen: yes\r\n\r\nabcde");
}

TEST_F(HttpResponseTest, SendErrorPage)
{
  response.sendError(404);
  std::string expected =
      "HTTP/1.0 404 Not Found\r\nContent-Length: " + std::to_string(PAGE_404.size()) + "\r\n\r\n" + PAGE_404;
  EXPECT_EQ(received(), expected);
  EXPECT_EQ(response.bytesSent(), expected.size());
}

TEST_F(HttpResponseTest, SendErrorAfterTheHeadWritesNothingMore)
{
  response.setStatus(200);
  response.setHeader("Content-type", "video/MP2T");
  response.write("\x47\x00\x11", 3);
  unsigned before = response.bytesSent();
  response.sendError(500);
  EXPECT_EQ(response.bytesSent(), before);
  EXPECT_EQ(received(), "HTTP/1.0 200 OK\r\nContent-type: video/MP2T\r\n\r\n" + std::string("\x47\x00\x11", 3));
}

TEST_F(HttpResponseTest, HeadersInByteOrderAndReplaced)
{
  response.setHeader("b", "1");
  response.setHeader("Content-type", "x");
  response.setHeader("Content-Length", 7u);
  response.setHeader("b", "2");
  response.setStatus(418);
  response.sendHeaders();
  EXPECT_EQ(received(), "HTTP/1.0 418 Unknown Status Code\r\nContent-Length: 7\r\nContent-type: x\r\nb: 2\r\n\r\n");
}

TEST_F(HttpResponseTest, LateSettingsWarnAndGoNowhere)
{
  logLines.clear();
  LogSetSink(recordLine);
  response.sendHeaders();
  response.setStatus(200);
  response.setHeader("X", "1");
  LogSetSink(nullptr);
  EXPECT_EQ(logLines, std::vector<std::string>(2, "L_WebServer: setHeader: headers already sent."));
  EXPECT_EQ(received(), "HTTP/1.0 500 Internal Server Error\r\n\r\n");
}

TEST_F(HttpResponseTest, OnlyTheLastCookieIsSent)
{
  response.setCookie("a", "1", 60);
  response.setCookie("b", "2", 3600);
  response.sendHeaders();
  std::string head = received();
  size_t at = head.find("Set-Cookie: b=2; expires=");
  ASSERT_NE(at, std::string::npos) << head;
  EXPECT_EQ(head.find("Set-Cookie", at + 1), std::string::npos);
  EXPECT_NE(head.find(" GMT; path=/;\r\n", at), std::string::npos);
}

TEST_F(HttpResponseTest, ReadyMadeAnswers)
{
  response.sendJson("{\"status\":\"ok\"}");
  EXPECT_EQ(received(), "HTTP/1.0 200 OK\r\nContent-Length: 15\r\nContent-type: application/x-json\r\n\r\n{\"status\":\"ok\"}");
}

TEST_F(HttpResponseTest, HtmlPage)
{
  response.sendHtmlPage("<p>x</p>\n", "Title");
  std::string body = bodyOf(received());
  EXPECT_EQ(body,
            "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>Title</title>\n"
            "</head><body>\n<h1>Title</h1>\n<p>x</p>\n</body></html>\n");
}

TEST_F(HttpResponseTest, SendBufferIsBinarySafe)
{
  std::string data("a\0b\xff", 4);
  response.sendBuffer(data.data(), 4, "application/octet-stream");
  EXPECT_EQ(received(), "HTTP/1.0 200 OK\r\nContent-length: 4\r\nContent-type: application/octet-stream\r\n\r\n" + data);
}

TEST_F(HttpResponseTest, FileOfExactlyOneBlock)
{
  std::wstring path = tempFile(L".png", 65536);
  response.sendFile(path.c_str());
  std::string answer = received();
  EXPECT_EQ(answer.substr(0, answer.find("\r\n\r\n")),
            "HTTP/1.0 200 OK\r\nContent-length: 65536\r\nContent-type: image/png");
  std::string body = bodyOf(answer);
  ASSERT_EQ(body.size(), 65536u);
  EXPECT_EQ(static_cast<unsigned char>(body[65535]), 65535 * 7 % 251);
  _wremove(path.c_str());
}

TEST_F(HttpResponseTest, EmptyFileAndUpperCaseExtension)
{
  std::wstring path = tempFile(L".PNG", 0);
  response.sendFile(path.c_str());
  EXPECT_EQ(received(), "HTTP/1.0 200 OK\r\nContent-length: 0\r\nContent-type: unknown\r\n\r\n");
  _wremove(path.c_str());
}

TEST_F(HttpResponseTest, MissingFileIs404)
{
  response.sendFile(L"C:\\no such folder\\no such file.html");
  EXPECT_EQ(response.getStatus(), 404);
  EXPECT_EQ(bodyOf(received()), PAGE_404);
}

// The client resets the connection: the first failed send stops the response,
// so a big body is not pushed at a closed socket block after block.
TEST_F(HttpResponseTest, SendFailureStopsFurtherSends)
{
  _pair.client().abort();
  Sleep(100);
  std::string block(65536, 'x');
  for (int i = 0; i < 200 && !response.sendFailed(); ++i)
    response.write(block.data(), static_cast<unsigned>(block.size()));
  ASSERT_TRUE(response.sendFailed());
  unsigned sent = response.bytesSent();
  DWORD start = GetTickCount();
  for (int i = 0; i < 100; ++i)
    response.write(block.data(), static_cast<unsigned>(block.size()));
  EXPECT_EQ(response.bytesSent(), sent);
  EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(HttpResponseTest, HttpHandlerSinkWritesTheBody)
{
  HttpHandler sink(&response);
  Sink* asSink = &sink;
  char empty[] = "";
  asSink->write(empty, 0);
  EXPECT_TRUE(response.headersSent()) << "an empty delivery still sends the head";
  char data[] = "\x47\x40";
  asSink->write(data, 2);
  asSink->flush();
  EXPECT_EQ(received(), "HTTP/1.0 500 Internal Server Error\r\n\r\n\x47\x40");
}

TEST(HttpTextTest, StatusTexts)
{
  EXPECT_STREQ(statusText(200), "OK");
  EXPECT_STREQ(statusText(302), "Moved Temporarily");
  EXPECT_STREQ(statusText(503), "Service Unavailable");
  EXPECT_STREQ(statusText(418), "Unknown Status Code");
  EXPECT_STREQ(statusText(-1), "Unknown Status Code");
}

TEST(HttpTextTest, MimeTypesAreExact)
{
  EXPECT_STREQ(HttpResponse::mimeType(L"m3u8"), "application/x-mpegURL");
  EXPECT_STREQ(HttpResponse::mimeType(L"ts"), "video/MP2T");
  EXPECT_STREQ(HttpResponse::mimeType(L"js"), "text/javascript");
  EXPECT_STREQ(HttpResponse::mimeType(L"PNG"), "unknown");
  EXPECT_STREQ(HttpResponse::mimeType(L""), "unknown");
}

TEST(HttpTextTest, HttpDates)
{
  EXPECT_EQ(httpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(httpDate(4102444800LL), "Fri, 01 Jan 2100 00:00:00 GMT");  // past 2038
}

TEST(HttpTextTest, UrlEncodeAndDecode)
{
  EXPECT_EQ(HttpResponse::urlEncode("a b\xc3\xa9-_.~/?&"), "a%20b%c3%a9-_.~%2f%3f%26");
  EXPECT_EQ(HttpResponse::urlEncode(std::string("\0", 1)), "%00");
  EXPECT_EQ(HttpResponse::urlDecode("a%20b+c%c3%A9"), "a b c\xc3\xa9");
  EXPECT_EQ(HttpResponse::urlDecode("100%"), "100%");
  EXPECT_EQ(HttpResponse::urlDecode("%4"), "%4");
  EXPECT_EQ(HttpResponse::urlDecode("%zz"), "%zz");
  std::string all;
  for (int c = 1; c < 256; ++c)
    all += static_cast<char>(c);
  EXPECT_EQ(HttpResponse::urlDecode(HttpResponse::urlEncode(all)), all);
}
