#include "HttpLimits.h"
#include "HttpResponse.h"
#include "LoopbackClient.h"
#include "Sink.h"
#include "Socket.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string PAGE_404 = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>404 Not Found"
                             "</title>\n</head><body>\n<h1>Not Found</h1>\n</body></html>\n";
const std::string ANSWER_404 =
    "HTTP/1.0 404 Not Found\r\nContent-Length: " + std::to_string(PAGE_404.size()) + "\r\n\r\n" + PAGE_404;

typedef std::function<void(HttpResponse&, LoopbackClient&)> Action;

// What the client end of a loopback connection receives from a response on
// the accepted end, once that end is closed.
std::string answerTo(const Action& act)
{
  SOCKET listener = listenOn(0, INADDR_LOOPBACK);
  sockaddr_in bound;
  int length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  LoopbackClient client(ntohs(bound.sin_port));
  Socket* socket = new Socket(accept(listener, nullptr, nullptr));
  closesocket(listener);
  HttpResponse response(socket);
  act(response, client);
  delete socket;  // the response must not send afterwards
  return client.receive();
}

}

TEST(HttpResponseTest, WhatGoesOnTheWire)
{
  struct Case {
    const char* what;
    Action act;
    std::string answer;
  };
  TestFolder folder;
  std::string block;
  for (size_t i = 0; i < FILE_BLOCK_BYTES; ++i)
    block += static_cast<char>(i * 7 % 251);
  std::wstring png = folder.file(L"block \u00e9.png", block);
  const Case cases[] = {
      {"write alone sends the default head first",
       [](HttpResponse& r, LoopbackClient&) {
         r.setHeader("X-Seen", "yes");
         r.write("abc", 3).write("de", 2);
         EXPECT_TRUE(r.headersSent());
       },
       "HTTP/1.0 500 Internal Server Error\r\nX-Seen: yes\r\n\r\nabcde"},
      {"error page",
       [](HttpResponse& r, LoopbackClient&) {
         r.sendError(404);
         EXPECT_EQ(r.bytesSent(), ANSWER_404.size());
       },
       ANSWER_404},
      {"an error after the head adds nothing to the video",
       [](HttpResponse& r, LoopbackClient&) {
         r.setStatus(200);
         r.setHeader("Content-type", "video/MP2T");
         r.write("\x47\x00\x11", 3);
         unsigned before = r.bytesSent();
         r.sendError(500);
         EXPECT_EQ(r.bytesSent(), before);
       },
       "HTTP/1.0 200 OK\r\nContent-type: video/MP2T\r\n\r\n" + std::string("\x47\x00\x11", 3)},
      {"headers in byte order, replaced",
       [](HttpResponse& r, LoopbackClient&) {
         r.setHeader("b", "1");
         r.setHeader("Content-type", "x");
         r.setHeader("Content-Length", 7u);
         r.setHeader("b", "2");
         r.setStatus(418);
         r.sendHeaders();
       },
       "HTTP/1.0 418 Unknown Status Code\r\nContent-Length: 7\r\nContent-type: x\r\nb: 2\r\n\r\n"},
      {"settings after the head go nowhere",
       [](HttpResponse& r, LoopbackClient&) {
         r.sendHeaders();
         r.setStatus(200);
         r.setHeader("X", "1");
       },
       "HTTP/1.0 500 Internal Server Error\r\n\r\n"},
      {"file of exactly one block", [&](HttpResponse& r, LoopbackClient&) { r.sendFile(png.c_str()); },
       "HTTP/1.0 200 OK\r\nContent-length: 65536\r\nContent-type: image/png\r\n\r\n" + block},
      {"HEAD: the head alone, with the length the body would have",
       [&](HttpResponse& r, LoopbackClient&) {
         r.setHeadOnly();
         r.sendFile(png.c_str());
         r.write("x", 1);
       },
       "HTTP/1.0 200 OK\r\nContent-length: 65536\r\nContent-type: image/png\r\n\r\n"},
      {"missing file",
       [](HttpResponse& r, LoopbackClient&) {
         r.sendFile(L"C:\\no such folder\\no such file.html");
         EXPECT_EQ(r.getStatus(), 404);
       },
       ANSWER_404},
      {"sink: an empty delivery still sends the head",
       [](HttpResponse& r, LoopbackClient&) {
         HttpHandler sink(&r);
         char data[] = "\x47\x40";
         static_cast<Sink&>(sink).write(data, 0);
         EXPECT_TRUE(r.headersSent());
         static_cast<Sink&>(sink).write(data, 2);
         static_cast<Sink&>(sink).flush();
       },
       "HTTP/1.0 500 Internal Server Error\r\n\r\n\x47\x40"},
      {"the first failed send stops the rest",
       [](HttpResponse& r, LoopbackClient& client) {
         client.abort();
         Sleep(100);
         std::string data(65536, 'x');
         for (int i = 0; i < 200 && !r.sendFailed(); ++i)
           r.write(data.data(), static_cast<unsigned>(data.size()));
         ASSERT_TRUE(r.sendFailed());
         unsigned sent = r.bytesSent();
         DWORD began = GetTickCount();
         for (int i = 0; i < 100; ++i)
           r.write(data.data(), static_cast<unsigned>(data.size()));
         EXPECT_EQ(r.bytesSent(), sent);
         EXPECT_LT(GetTickCount() - began, 1000u);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(answerTo(c.act), c.answer);
  }
}

TEST(HttpTextTest, UrlCoding)
{
  EXPECT_EQ(HttpResponse::urlEncode("a b\xc3\xa9-_.~/?&"), "a%20b%c3%a9-_.~%2f%3f%26");
  EXPECT_EQ(HttpResponse::urlEncode(std::string("\0", 1)), "%00");
  EXPECT_EQ(HttpResponse::urlDecode("a%20b+c%c3%A9"), "a b c\xc3\xa9");
  for (const char* kept : {"100%", "%4", "%zz"})
    EXPECT_EQ(HttpResponse::urlDecode(kept), kept);
  std::string all;
  for (int c = 1; c < 256; ++c)
    all += static_cast<char>(c);
  EXPECT_EQ(HttpResponse::urlDecode(HttpResponse::urlEncode(all)), all);
}
