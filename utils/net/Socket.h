#pragma once

#include <winsock2.h>

#include "Portability.h"

#include <string>

// Diagnostics of this file go to the debug output under this category.
const unsigned short DEBUG_SOCKET = 0x1000;

// An IPv4 address with port.
class SocketAddress {
public:
  SocketAddress();
  explicit SocketAddress(const sockaddr* address);  // valid only for AF_INET
  // "host:port", the host dotted or a name to resolve.
  explicit SocketAddress(const std::wstring& text);

  bool parse(const std::wstring& text);
  bool isBroadcastAddress() const;
  std::wstring toString(bool withPort) const;
  bool isValid() const { return _valid; }
  int getPort() const { return ntohs(_address.sin_port); }
  const sockaddr_in& get() const { return _address; }

private:
  sockaddr_in _address;
  bool _valid;
};

// One Winsock socket, TCP or UDP. The first one made starts the library.
class Socket {
public:
  explicit Socket(bool udp);
  explicit Socket(SOCKET handle);  // an accepted connection
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int setNoDelay();
  bool setReceiveTimeout(int ms);
  bool setSendTimeout(int ms);

  bool bind(int port);  // on every interface
  bool listen();
  // False only when nothing arrived within ms.
  bool waitForRead(int ms);
  // The caller owns the result; null on failure.
  Socket* accept(sockaddr_in* peer);
  bool connect(const std::wstring& hostAndPort);
  bool connect(const std::wstring& host, int port);

  // The platform's results: -1 on error, 0 when the peer has closed.
  int recv(void* buffer, int length);
  int send(const void* data, int length);
  int recvfrom(SocketAddress& from, char* buffer, int length);
  int sendto(const SocketAddress& to, const char* data, int length);

  void shutdown();
  void close();
  // The peer is to see the connection fail: closing resets it, and it is
  // never shut down in order.
  void resetOnClose();

  int getMaxMessageSize();
  bool isConnected() const { return _connected != 0; }
  SOCKET getHandle() const { return _handle; }
  // The bound address; not valid before a bind or connect.
  SocketAddress getLocalAddress() const;
  static std::wstring getLastErrorText();

  // Whether a failed datagram send deserves a second try with SO_BROADCAST on.
  static bool needsBroadcastRetry(int error, const SocketAddress& to);

private:
  int _connected = 0;
  SOCKET _handle = INVALID_SOCKET;
};

// Exchanges a sentence over TCP and a datagram over UDP on loopback.
bool socketSelfTest(int tcpPort = 7302, int udpPort = 7301);
