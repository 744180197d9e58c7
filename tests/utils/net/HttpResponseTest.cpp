#include "HttpResponse.h"
#include "LoopbackClient.h"
#include "Socket.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// What the client end of a loopback connection receives from a response on
// the accepted end, once that end is closed.
std::string answerTo(const std::function<void(HttpResponse&)>& act)
{
  Socket listener(false);
  EXPECT_TRUE(listener.bind(0) && listener.listen());
  LoopbackClient client(listener.getLocalAddress().getPort());
  std::unique_ptr<Socket> socket(listener.accept(nullptr));
  HttpResponse response(socket.get());
  act(response);
  socket.reset();  // the response must not send afterwards
  return client.receive();
}

}

TEST(HttpResponseTest, WhatGoesOnTheWire)
{
  TestFolder folder;
  std::wstring png = folder.file(L"block \u00e9.png", std::string(100000, 'p'));
  const struct {
    const char* what;
    std::function<void(HttpResponse&)> act;
    std::string answer;
  } cases[] = {
      {"an error after the head adds nothing to the video",
       [](HttpResponse& r) {
         r.setStatus(200);
         r.setHeader("Content-type", "video/MP2T");
         r.write("\x47\x00\x11", 3);
         r.sendError(500);
       },
       "HTTP/1.0 200 OK\r\nContent-type: video/MP2T\r\n\r\n" + std::string("\x47\x00\x11", 3)},
      {"HEAD: the head alone, with the length the body would have",
       [&](HttpResponse& r) {
         r.setHeadOnly();
         r.sendFile(png.c_str());
         r.write("x", 1);
       },
       "HTTP/1.0 200 OK\r\nContent-length: 100000\r\nContent-type: image/png\r\n\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(answerTo(c.act), c.answer) << c.what;
}

TEST(HttpResponseTest, UrlCodingForHandlers)
{
  EXPECT_EQ(HttpResponse::urlEncode("a b\xc3\xa9.ts"), "a%20b%c3%a9.ts");
  EXPECT_EQ(HttpResponse::urlDecode("x+y%21"), "x y!");
}
