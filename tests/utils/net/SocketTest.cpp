#include "Socket.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// A port that was free a moment ago.
int freePort(bool udp)
{
  Socket probe(udp);
  probe.bind(0);
  return probe.getLocalAddress().getPort();
}

class SocketTest : public ::testing::Test {
protected:
  // A client connected over loopback and the accepted end.
  void connectPair()
  {
    Socket listening(false);
    ASSERT_TRUE(listening.bind(0) && listening.listen());
    client.reset(new Socket(false));
    ASSERT_TRUE(client->connect(L"127.0.0.1:" + std::to_wstring(listening.getLocalAddress().getPort())));
    ASSERT_TRUE(listening.waitForRead(5000));
    server.reset(listening.accept(nullptr));
    ASSERT_NE(server, nullptr);
  }

  DebugRecorder debug{DEBUG_SOCKET};
  std::unique_ptr<Socket> client, server;
};

}

TEST_F(SocketTest, AddressesAndTheBroadcastDecision)
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

TEST_F(SocketTest, BusyPortAndConnectFailures)
{
  Socket first(false);
  ASSERT_TRUE(first.bind(0) && first.listen());
  int port = first.getLocalAddress().getPort();
  Socket second(false);
  EXPECT_FALSE(second.bind(port));
  EXPECT_TRUE(debug.logged("Couldn't bind to " + std::to_string(port) + ": "));
  EXPECT_TRUE(second.bind(0));
  EXPECT_FALSE(Socket(false).bind(70000));

  Socket socket(false);
  EXPECT_FALSE(socket.connect(L"127.0.0.1"));
  EXPECT_TRUE(debug.logged("Socket: hostname contained no port: 127.0.0.1"));
  EXPECT_FALSE(socket.connect(L"127.0.0.1", freePort(false)));
  socket.shutdown();
  EXPECT_FALSE(socket.isConnected());
}

TEST_F(SocketTest, AcceptWaitsWithATimeOutAndShutdownEndsTheStream)
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

TEST_F(SocketTest, LargeTransferArrivesInPartsAndWhole)
{
  ASSERT_NO_FATAL_FAILURE(connectPair());
  std::string data(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + i / 251);
  std::thread sender([&] {
    size_t sent = 0;
    for (int n; sent < data.size() && (n = client->send(data.data() + sent, static_cast<int>(data.size() - sent))) > 0;)
      sent += n;
    client->shutdown();
  });
  std::string received;
  char buffer[1000];
  int chunks = 0, n;
  for (; (n = server->recv(buffer, sizeof buffer)) > 0; ++chunks)
    received.append(buffer, n);
  sender.join();
  EXPECT_EQ(n, 0);  // orderly end after the shutdown
  EXPECT_GE(chunks, static_cast<int>(data.size() / sizeof buffer));
  EXPECT_TRUE(received == data);
}

TEST_F(SocketTest, TimeOutsEndWaitsOnASilentPeer)
{
  ASSERT_NO_FATAL_FAILURE(connectPair());
  ASSERT_TRUE(server->setReceiveTimeout(300));
  ASSERT_TRUE(client->setSendTimeout(300));
  char buffer[16];
  DWORD start = GetTickCount();
  EXPECT_EQ(server->recv(buffer, sizeof buffer), -1);
  EXPECT_LT(GetTickCount() - start, 5000u);
  // Once the peer's buffers are full a send gives up instead of blocking.
  std::string block(1024 * 1024, 'x');
  long long total = 0;
  int n = 0;
  for (int i = 0; i < 256 && (n = client->send(block.data(), static_cast<int>(block.size()))) > 0; ++i)
    total += n;
  EXPECT_LT(GetTickCount() - start, 30000u);
  EXPECT_GT(total, 0);
  EXPECT_EQ(n, -1);
}

TEST_F(SocketTest, PeerClosingEarly)
{
  ASSERT_NO_FATAL_FAILURE(connectPair());
  ASSERT_EQ(client->send("GET", 3), 3);
  client->close();
  char buffer[16];
  EXPECT_EQ(server->recv(buffer, sizeof buffer), 3);
  EXPECT_EQ(server->recv(buffer, sizeof buffer), 0);
  // Writing into the closed connection fails sooner or later, never hangs.
  ASSERT_TRUE(server->setSendTimeout(1000));
  int n = 0;
  for (int i = 0; i < 50 && n >= 0; ++i, Sleep(10))
    n = server->send("data", 4);
  EXPECT_EQ(n, -1);
}

TEST_F(SocketTest, DatagramsBetweenTwoLocalSockets)
{
  Socket receiver(true), sender(true);
  ASSERT_TRUE(receiver.bind(0));
  int port = receiver.getLocalAddress().getPort();
  ASSERT_EQ(sender.sendto(SocketAddress(L"127.0.0.1:" + std::to_wstring(port)), "ping\0pong", 9), 9);
  EXPECT_TRUE(debug.logged(" sent 9 bytes."));
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
  EXPECT_TRUE(debug.logged("Socket::sendto: Address is bad."));
  EXPECT_GT(sender.getMaxMessageSize(), 0);
  sender.close();
  EXPECT_EQ(sender.getMaxMessageSize(), 1500);
  EXPECT_TRUE(debug.logged("getMaxMessageSize() Error."));
}

TEST_F(SocketTest, SelfTestOnFreshPorts)
{
  EXPECT_TRUE(socketSelfTest(freePort(false), freePort(true)));
  EXPECT_TRUE(debug.logged("Server got: The quick brown fox"));
  EXPECT_TRUE(debug.logged("Got UDP message: "));
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
