#pragma once

// Plain Winsock on 127.0.0.1 for talking to servers under test, independent
// of the Socket class they use.

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

inline void startWinsock()
{
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

// A random port in a high range below Linux's ephemeral one, where a search
// for a free port can start without meeting other test runs' servers.
inline int randomHighPort()
{
  static std::atomic<unsigned> counter{GetTickCount() ^ (GetCurrentProcessId() * 2654435761u)};
  unsigned mixed = (counter += 0x9E3779B9u) * 2246822519u;
  return 20000 + static_cast<int>((mixed >> 8) % 12000);
}

class LoopbackClient {
public:
  // From another loopback address (127.0.0.2, ...) the client is another device.
  explicit LoopbackClient(int port, const char* from = "127.0.0.1")
  {
    startWinsock();
    _socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(from);
    bind(_socket, reinterpret_cast<sockaddr*>(&a), sizeof a);
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    _connected = connect(_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~LoopbackClient() { closesocket(_socket); }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool isConnected() const { return _connected; }
  void shutdownSend() { shutdown(_socket, SD_SEND); }

  bool send(const std::string& data)
  {
    for (size_t sent = 0; sent < data.size();) {
      int n = ::send(_socket, data.data() + sent, static_cast<int>(data.size() - sent), 0);
      if (n <= 0)
        return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // Until the server closes, nothing comes within the time-out, or enough came.
  std::string receive(DWORD timeoutMs = 15000, size_t enough = std::string::npos)
  {
    setsockopt(_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string received;
    char buffer[16384];
    for (int n = 1; n > 0 && received.size() < enough;) {
      n = recv(_socket, buffer, sizeof buffer, 0);
      received.append(buffer, std::max(n, 0));
      _reset = n < 0 && WSAGetLastError() == WSAECONNRESET;
    }
    return received;
  }
  // Whether the last receive ended as the server reset the connection,
  // rather than closed it in order.
  bool wasReset() const { return _reset; }

private:
  SOCKET _socket;
  bool _connected = false;
  bool _reset = false;
};

// One request on a fresh connection; the whole answer.
inline std::string roundTrip(int port, const std::string& request)
{
  LoopbackClient client(port);
  return client.isConnected() && client.send(request) ? client.receive() : "";
}
