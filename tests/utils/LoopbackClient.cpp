#include "LoopbackClient.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

void startWinsock()
{
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

namespace {

sockaddr_in loopback(int port)
{
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool waitReadable(SOCKET s, int timeoutMs)
{
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &timeout) == 1;
}

}

LoopbackClient::LoopbackClient(int port)
{
  startWinsock();
  _socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(port);
  _connected = ::connect(_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

LoopbackClient::~LoopbackClient()
{
  closesocket(_socket);
}

bool LoopbackClient::send(const std::string& data)
{
  size_t sent = 0;
  while (sent < data.size()) {
    int n = ::send(_socket, data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n <= 0)
      return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void LoopbackClient::shutdownSend()
{
  shutdown(_socket, SD_SEND);
}

std::string LoopbackClient::receiveAll(int timeoutMs)
{
  return receiveSome(static_cast<size_t>(-1), timeoutMs);
}

std::string LoopbackClient::receiveSome(size_t atMost, int timeoutMs)
{
  std::string received;
  DWORD deadline = GetTickCount() + static_cast<DWORD>(timeoutMs);
  char buffer[16384];
  while (received.size() < atMost) {
    int left = static_cast<int>(deadline - GetTickCount());
    if (left <= 0 || !waitReadable(_socket, left))
      break;
    size_t want = std::min(sizeof buffer, atMost - received.size());
    int n = recv(_socket, buffer, static_cast<int>(want), 0);
    if (n <= 0)
      break;
    received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}

void LoopbackClient::abort()
{
  linger hard = {1, 0};
  setsockopt(_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  closesocket(_socket);
  _socket = INVALID_SOCKET;
}

std::string roundTrip(int port, const std::string& request)
{
  LoopbackClient client(port);
  if (!client.isConnected() || !client.send(request))
    return "";
  return client.receiveAll();
}

int randomHighPort()
{
  static std::atomic<unsigned> counter{GetTickCount() ^ (GetCurrentProcessId() * 2654435761u)};
  unsigned mixed = (counter += 0x9E3779B9u) * 2246822519u;
  return 20000 + static_cast<int>((mixed >> 8) % 12000);
}

LoopbackPair::LoopbackPair()
{
  startWinsock();
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(0);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 1);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  _client = new LoopbackClient(ntohs(address.sin_port));
  _accepted = accept(listener, nullptr, nullptr);
  closesocket(listener);
}

LoopbackPair::~LoopbackPair()
{
  if (_accepted != INVALID_SOCKET)
    closesocket(_accepted);
  delete _client;
}

SOCKET LoopbackPair::takeAccepted()
{
  SOCKET s = _accepted;
  _accepted = INVALID_SOCKET;
  return s;
}
