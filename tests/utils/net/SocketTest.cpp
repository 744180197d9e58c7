#include "Socket.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A port that was free a moment ago.
int freePort(bool udp)
{
  Socket probe(udp);
  probe.bind(0);
  return probe.getLocalAddress().getPort();
}

}

TEST(SocketTest, AddressesAndTheBroadcastDecision)
{
  EXPECT_EQ(SocketAddress(L"localhost:7301").toString(true), L"127.0.0.1:7301");
  EXPECT_EQ(SocketAddress(L"10.1.2.3:0").toString(false), L"10.1.2.3");
  for (const wchar_t* bad : {L"127.0.0.1", L"127.0.0.1:65536", L"127.0.0.1:80x", L"127.0.0.1:", L"no port"})
    EXPECT_FALSE(SocketAddress(bad).isValid()) << bad;
  EXPECT_FALSE(SocketAddress().isValid());
  sockaddr other = {};
  other.sa_family = AF_INET6;
  EXPECT_FALSE(SocketAddress(&other).isValid());

  SocketAddress broadcast(L"255.255.255.255:7301"), loopback(L"127.0.0.1:7301");
  EXPECT_TRUE(broadcast.isBroadcastAddress());
  EXPECT_FALSE(loopback.isBroadcastAddress());
  EXPECT_TRUE(Socket::needsBroadcastRetry(WSAEACCES, broadcast));
  EXPECT_FALSE(Socket::needsBroadcastRetry(WSAEACCES, loopback));
  EXPECT_FALSE(Socket::needsBroadcastRetry(WSAENETUNREACH, broadcast));
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
  EXPECT_FALSE(socket.connect(L"127.0.0.1", freePort(false)));
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

TEST(SocketTest, DatagramsBetweenTwoLocalSockets)
{
  Socket receiver(true), sender(true);
  ASSERT_TRUE(receiver.bind(0));
  int port = receiver.getLocalAddress().getPort();
  ASSERT_EQ(sender.sendto(SocketAddress(L"127.0.0.1:" + std::to_wstring(port)), "ping\0pong", 9), 9);
  ASSERT_TRUE(receiver.waitForRead(5000));
  char buffer[64];
  SocketAddress from, back;
  ASSERT_EQ(receiver.recvfrom(from, buffer, sizeof buffer), 9);
  EXPECT_EQ(std::string(buffer, 9), std::string("ping\0pong", 9));
  EXPECT_EQ(from.toString(true), L"127.0.0.1:" + std::to_wstring(sender.getLocalAddress().getPort()));
  // The answer goes back to the address the datagram came from.
  ASSERT_EQ(receiver.sendto(from, "ok", 2), 2);
  ASSERT_TRUE(sender.waitForRead(5000));
  EXPECT_EQ(sender.recvfrom(back, buffer, sizeof buffer), 2);
  EXPECT_EQ(back.getPort(), port);

  EXPECT_EQ(sender.sendto(SocketAddress(L"no port"), "x", 1), -1);
  EXPECT_GT(sender.getMaxMessageSize(), 0);
  sender.close();
  EXPECT_EQ(sender.getMaxMessageSize(), 1500);
}

TEST(SocketTest, SelfTestOnFreshPorts)
{
  EXPECT_TRUE(socketSelfTest(freePort(false), freePort(true)));
}

TEST(SocketLibraryTest, FirstSocketStartsTheLibrary)
{
  EXPECT_EXIT(
      {
        // In a fresh process nothing has started the library yet.
        bool before = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) == INVALID_SOCKET &&
                      WSAGetLastError() == WSANOTINITIALISED;
        Socket first(false);
        exit(before && socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) != INVALID_SOCKET ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
