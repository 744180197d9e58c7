#include "Socket.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A port that was free a moment ago.
int freePort()
{
  Socket probe(false);
  probe.bind(0);
  return probe.getLocalAddress().getPort();
}

}

// Datagrams, broadcasts and the self-test have no caller in the program;
// starting the socket library is the server's, under the end-to-end test.
TEST(SocketTest, Addresses)
{
  EXPECT_EQ(SocketAddress(L"localhost:7301").toString(true), L"127.0.0.1:7301");
  EXPECT_EQ(SocketAddress(L"10.1.2.3:0").toString(false), L"10.1.2.3");
  for (const wchar_t* bad : {L"127.0.0.1", L"127.0.0.1:65536", L"127.0.0.1:80x", L"127.0.0.1:", L"no port"})
    EXPECT_FALSE(SocketAddress(bad).isValid()) << bad;
  sockaddr other = {};
  other.sa_family = AF_INET6;
  EXPECT_FALSE(SocketAddress(&other).isValid());
}

TEST(SocketTest, BusyPortAndConnectFailures)
{
  Socket first(false);
  ASSERT_TRUE(first.bind(0) && first.listen());
  int port = first.getLocalAddress().getPort();
  Socket second(false);
  EXPECT_FALSE(second.bind(port));
  EXPECT_TRUE(second.bind(0));
  EXPECT_FALSE(Socket(false).bind(70000));

  Socket socket(false);
  EXPECT_FALSE(socket.connect(L"127.0.0.1"));
  EXPECT_FALSE(socket.connect(L"127.0.0.1", freePort()));
  socket.shutdown();
  EXPECT_FALSE(socket.isConnected());
}

TEST(SocketTest, AcceptWaitsWithATimeOutAndShutdownEndsTheStream)
{
  Socket listening(false);
  ASSERT_TRUE(listening.bind(0) && listening.listen());
  int port = listening.getLocalAddress().getPort();
  DWORD start = GetTickCount();
  EXPECT_FALSE(listening.waitForRead(1000));
  EXPECT_GE(GetTickCount() - start, 900u);
  EXPECT_LT(GetTickCount() - start, 3000u);

  Socket client(false);
  ASSERT_TRUE(client.connect(L"localhost", port));
  ASSERT_TRUE(listening.waitForRead(5000));
  sockaddr_in peer = {};
  std::unique_ptr<Socket> accepted(listening.accept(&peer));
  ASSERT_NE(accepted, nullptr);
  EXPECT_TRUE(accepted->isConnected() && client.isConnected());
  EXPECT_EQ(SocketAddress(reinterpret_cast<sockaddr*>(&peer)).toString(true), client.getLocalAddress().toString(true));
  EXPECT_EQ(accepted->getLocalAddress().toString(true), L"127.0.0.1:" + std::to_wstring(port));

  accepted->shutdown();
  EXPECT_FALSE(accepted->isConnected());
  char buffer[4];
  EXPECT_EQ(client.recv(buffer, sizeof buffer), 0);
}
