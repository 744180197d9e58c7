#include "Socket.h"

#include "Debug.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> debugLines;
void recordLine(const char* line)
{
  debugLines.emplace_back(line);
}

// Collects this file's debug lines for the length of a test.
class SocketTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    static const int categories[] = {DEBUG_SOCKET, 0};
    static const int defaults[] = {99, 0};
    debugLines.clear();
    setDebugOutput(recordLine);
    setDebugCategories(categories);
    _defaults = defaults;
  }
  void TearDown() override
  {
    setDebugCategories(_defaults);
    setDebugOutput(nullptr);
  }

  static bool logged(const std::string& start)
  {
    for (const std::string& line : debugLines) {
      if (line.compare(0, start.size(), start) == 0)
        return true;
    }
    return false;
  }

  // A listening TCP socket on an ephemeral port.
  static std::unique_ptr<Socket> listener(int* port)
  {
    std::unique_ptr<Socket> socket(new Socket(false));
    EXPECT_TRUE(socket->bind(0));
    EXPECT_TRUE(socket->listen());
    *port = socket->getLocalAddress().getPort();
    return socket;
  }

  // A connected pair over loopback: the client and the accepted end.
  static void connectedPair(std::unique_ptr<Socket>& client, std::unique_ptr<Socket>& server)
  {
    int port;
    std::unique_ptr<Socket> listening = listener(&port);
    client.reset(new Socket(false));
    ASSERT_TRUE(client->connect(L"127.0.0.1:" + std::to_wstring(port)));
    ASSERT_TRUE(listening->waitForRead(5000));
    server.reset(listening->accept(nullptr));
    ASSERT_NE(server, nullptr);
  }

private:
  const int* _defaults = nullptr;
};

}

TEST_F(SocketTest, AddressesParseAndPrint)
{
  SocketAddress local(L"localhost:7301");
  EXPECT_TRUE(local.isValid());
  EXPECT_EQ(local.toString(true), L"127.0.0.1:7301");
  EXPECT_EQ(SocketAddress(L"127.0.0.1:8080").toString(true), L"127.0.0.1:8080");
  EXPECT_EQ(SocketAddress(L"10.1.2.3:0").toString(false), L"10.1.2.3");
  EXPECT_FALSE(SocketAddress(L"127.0.0.1").isValid());
  EXPECT_FALSE(SocketAddress(L"127.0.0.1:65536").isValid());
  EXPECT_FALSE(SocketAddress(L"127.0.0.1:80x").isValid());
  EXPECT_FALSE(SocketAddress(L"127.0.0.1:").isValid());
  EXPECT_FALSE(SocketAddress().isValid());

  EXPECT_TRUE(SocketAddress(L"255.255.255.255:9").isBroadcastAddress());
  EXPECT_FALSE(local.isBroadcastAddress());

  sockaddr other = {};
  other.sa_family = AF_INET6;
  EXPECT_FALSE(SocketAddress(&other).isValid());
  SocketAddress copy = local;
  EXPECT_EQ(copy.toString(true), local.toString(true));
}

TEST_F(SocketTest, BusyPortRefusesTheSecondBind)
{
  int port;
  std::unique_ptr<Socket> first = listener(&port);
  ASSERT_GT(port, 0);
  Socket second(false);
  EXPECT_FALSE(second.bind(port));
  EXPECT_TRUE(logged("Couldn't bind to " + std::to_string(port) + ": "));
  EXPECT_TRUE(second.bind(0));
  EXPECT_FALSE(Socket(false).bind(70000));
}

TEST_F(SocketTest, AcceptWaitsWithATimeOut)
{
  int port;
  std::unique_ptr<Socket> listening = listener(&port);
  DWORD start = GetTickCount();
  EXPECT_FALSE(listening->waitForRead(1000));
  DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 900u);
  EXPECT_LT(waited, 3000u);

  Socket client(false);
  ASSERT_TRUE(client.connect(L"localhost", port));
  EXPECT_TRUE(client.isConnected());
  ASSERT_TRUE(listening->waitForRead(5000));
  sockaddr_in peer = {};
  std::unique_ptr<Socket> accepted(listening->accept(&peer));
  ASSERT_NE(accepted, nullptr);
  EXPECT_TRUE(accepted->isConnected());
  SocketAddress peerAddress(reinterpret_cast<sockaddr*>(&peer));
  EXPECT_EQ(peerAddress.toString(true), client.getLocalAddress().toString(true));
  EXPECT_EQ(accepted->getLocalAddress().toString(true), L"127.0.0.1:" + std::to_wstring(port));
}

TEST_F(SocketTest, ConnectFailures)
{
  Socket socket(false);
  EXPECT_FALSE(socket.connect(L"127.0.0.1"));
  EXPECT_TRUE(logged("Socket: hostname contained no port: 127.0.0.1"));
  int port;
  {
    // A port that was free a moment ago has nobody listening.
    Socket probe(false);
    ASSERT_TRUE(probe.bind(0));
    port = probe.getLocalAddress().getPort();
  }
  EXPECT_FALSE(socket.connect(L"127.0.0.1", port));
  EXPECT_FALSE(socket.isConnected());
}

TEST_F(SocketTest, LargeTransferArrivesInPartsAndWhole)
{
  std::unique_ptr<Socket> client, server;
  connectedPair(client, server);
  std::string data(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + i / 251);

  std::thread sender([&] {
    size_t sent = 0;
    while (sent < data.size()) {
      int n = client->send(data.data() + sent, static_cast<int>(data.size() - sent));
      if (n <= 0)
        break;
      sent += n;
    }
    client->shutdown();
  });
  std::string received;
  char buffer[1000];
  int chunks = 0;
  int n;
  while ((n = server->recv(buffer, sizeof buffer)) > 0) {
    received.append(buffer, n);
    ++chunks;
  }
  sender.join();
  EXPECT_EQ(n, 0);  // orderly end after the shutdown
  EXPECT_GE(chunks, static_cast<int>(data.size() / sizeof buffer));
  EXPECT_TRUE(received == data);
}

TEST_F(SocketTest, SendToAPeerThatDoesNotReadEndsWithTheTimeOut)
{
  std::unique_ptr<Socket> client, server;
  connectedPair(client, server);
  ASSERT_TRUE(client->setSendTimeout(300));
  std::string block(1024 * 1024, 'x');
  DWORD start = GetTickCount();
  long long total = 0;
  int n = 0;
  // Fills the peer's buffers; then a send must give up instead of blocking.
  for (int i = 0; i < 256 && (n = client->send(block.data(), static_cast<int>(block.size()))) > 0; ++i)
    total += n;
  EXPECT_LT(GetTickCount() - start, 30000u);
  EXPECT_GT(total, 0);
  EXPECT_EQ(n, -1);
}

TEST_F(SocketTest, PeerClosingEarly)
{
  std::unique_ptr<Socket> client, server;
  connectedPair(client, server);
  ASSERT_EQ(client->send("GET", 3), 3);
  client->close();
  char buffer[16];
  EXPECT_EQ(server->recv(buffer, sizeof buffer), 3);
  EXPECT_EQ(server->recv(buffer, sizeof buffer), 0);
  // Writing into the closed connection fails sooner or later, never hangs.
  ASSERT_TRUE(server->setSendTimeout(1000));
  int n = 0;
  for (int i = 0; i < 50 && n >= 0; ++i) {
    n = server->send("data", 4);
    Sleep(10);
  }
  EXPECT_EQ(n, -1);
}

TEST_F(SocketTest, ReceiveTimeOutOnASilentPeer)
{
  std::unique_ptr<Socket> client, server;
  connectedPair(client, server);
  ASSERT_TRUE(server->setReceiveTimeout(300));
  char buffer[16];
  DWORD start = GetTickCount();
  EXPECT_EQ(server->recv(buffer, sizeof buffer), -1);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(server->setNoDelay(), 0);
}

TEST_F(SocketTest, ShutdownOnlyActsOnConnectedSockets)
{
  Socket never(false);
  EXPECT_FALSE(never.isConnected());
  never.shutdown();
  EXPECT_FALSE(never.isConnected());

  std::unique_ptr<Socket> client, server;
  connectedPair(client, server);
  server->shutdown();
  EXPECT_FALSE(server->isConnected());
  char buffer[4];
  EXPECT_EQ(client->recv(buffer, sizeof buffer), 0);
}

TEST_F(SocketTest, DatagramsBetweenTwoLocalSockets)
{
  Socket receiver(true);
  ASSERT_TRUE(receiver.bind(0));
  int port = receiver.getLocalAddress().getPort();
  Socket sender(true);
  SocketAddress to(L"127.0.0.1:" + std::to_wstring(port));
  ASSERT_EQ(sender.sendto(to, "ping\0pong", 9), 9);
  EXPECT_TRUE(logged(" sent 9 bytes."));

  ASSERT_TRUE(receiver.waitForRead(5000));
  char buffer[64];
  SocketAddress from;
  ASSERT_EQ(receiver.recvfrom(from, buffer, sizeof buffer), 9);
  EXPECT_EQ(std::string(buffer, 9), std::string("ping\0pong", 9));
  EXPECT_TRUE(from.isValid());
  EXPECT_EQ(from.toString(true), L"127.0.0.1:" + std::to_wstring(sender.getLocalAddress().getPort()));

  // The answer goes back to the address the datagram came from.
  ASSERT_EQ(receiver.sendto(from, "ok", 2), 2);
  ASSERT_TRUE(sender.waitForRead(5000));
  SocketAddress back;
  EXPECT_EQ(sender.recvfrom(back, buffer, sizeof buffer), 2);
  EXPECT_EQ(back.getPort(), port);
}

TEST_F(SocketTest, DatagramToABadAddressIsRefused)
{
  Socket sender(true);
  EXPECT_EQ(sender.sendto(SocketAddress(L"no port"), "x", 1), -1);
  EXPECT_TRUE(logged("Socket::sendto: Address is bad."));
}

TEST_F(SocketTest, BroadcastRetryOnlyForAnAccessErrorToTheBroadcastAddress)
{
  SocketAddress broadcast(L"255.255.255.255:7301");
  SocketAddress loopback(L"127.0.0.1:7301");
  EXPECT_TRUE(Socket::needsBroadcastRetry(WSAEACCES, broadcast));
  EXPECT_FALSE(Socket::needsBroadcastRetry(WSAEACCES, loopback));
  EXPECT_FALSE(Socket::needsBroadcastRetry(WSAENETUNREACH, broadcast));
}

TEST_F(SocketTest, MaxMessageSize)
{
  Socket udp(true);
  int size = udp.getMaxMessageSize();
  EXPECT_GT(size, 0);
  EXPECT_TRUE(logged("getMaxMessageSize() returning " + std::to_string(size)));

  Socket closed(true);
  closed.close();
  debugLines.clear();
  EXPECT_EQ(closed.getMaxMessageSize(), 1500);
  EXPECT_TRUE(logged("getMaxMessageSize() Error."));
  EXPECT_TRUE(logged("getMaxMessageSize() returning 1500"));
}

TEST_F(SocketTest, SelfTestOnFreshPorts)
{
  int tcpPort, udpPort;
  {
    Socket tcp(false), udp(true);
    ASSERT_TRUE(tcp.bind(0));
    ASSERT_TRUE(udp.bind(0));
    tcpPort = tcp.getLocalAddress().getPort();
    udpPort = udp.getLocalAddress().getPort();
  }
  EXPECT_TRUE(socketSelfTest(tcpPort, udpPort));
  EXPECT_TRUE(logged("Server got: The quick brown fox"));
  EXPECT_TRUE(logged("Got UDP message: "));
}

TEST(SocketLibraryTest, FirstSocketStartsTheLibrary)
{
  EXPECT_EXIT(
      {
        // In a fresh process nothing has started the library yet.
        bool before = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) == INVALID_SOCKET &&
                      WSAGetLastError() == WSANOTINITIALISED;
        Socket first(false);
        bool after = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) != INVALID_SOCKET;
        exit(before && after ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
