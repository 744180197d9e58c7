#include "Socket.h"

#include "Debug.h"
#include "StringUtil.h"
#include "Thread.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

bool _libraryStarted;  // the library is never shut down

const int LISTEN_BACKLOG = 0x7fffffff;
const int DEFAULT_MAX_MESSAGE_SIZE = 1500;
const int MAX_PORT = 65535;

std::string lastErrorText()
{
  return toUtf8(Socket::getLastErrorText());
}

void startLibrary()
{
  if (_libraryStarted)
    return;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    debugPrint(DEBUG_SOCKET, "Could not find useable winsock dll.");
  _libraryStarted = true;
}

bool setOption(SOCKET handle, int level, int name, int value)
{
  return setsockopt(handle, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool setTimeout(SOCKET handle, int name, int ms)
{
  DWORD value = ms;
  return setsockopt(handle, SOL_SOCKET, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

// Reads "a.b.c.d" with each part 0-255 and nothing after it.
bool parseDottedAddress(const std::wstring& host, in_addr* address)
{
  int parts[4];
  int used = 0;
  if (swscanf(host.c_str(), L"%d.%d.%d.%d%n", &parts[0], &parts[1], &parts[2], &parts[3], &used) != 4 ||
      static_cast<size_t>(used) != host.size())
    return false;
  for (int part : parts) {
    if (part < 0 || part > 255)
      return false;
  }
  address->s_addr = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
  return true;
}

// An address may be resolved before any socket exists.
bool resolveHost(const std::wstring& host, in_addr* address)
{
  startLibrary();
  hostent* entry = gethostbyname(toUtf8(host).c_str());
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list[0])
    return false;
  memcpy(address, entry->h_addr_list[0], sizeof *address);
  return true;
}

// A decimal port in 0-65535 taking the whole text, or -1.
int parsePort(const std::wstring& text)
{
  wchar_t* end = nullptr;
  long port = wcstol(text.c_str(), &end, 10);
  if (text.empty() || *end || port < 0 || port > MAX_PORT)
    return -1;
  return static_cast<int>(port);
}

}

SocketAddress::SocketAddress() : _address(), _valid(false) {}

SocketAddress::SocketAddress(const sockaddr* address) : _address(), _valid(false)
{
  if (address && address->sa_family == AF_INET) {
    memcpy(&_address, address, sizeof _address);
    _valid = true;
  }
}

SocketAddress::SocketAddress(const std::wstring& text) : SocketAddress()
{
  parse(text);
}

bool SocketAddress::parse(const std::wstring& text)
{
  _valid = false;
  size_t colon = text.find(L':');
  if (colon == std::wstring::npos)
    return false;
  std::wstring host = text.substr(0, colon);
  int port = parsePort(text.substr(colon + 1));
  in_addr address;
  if (port < 0 || (!parseDottedAddress(host, &address) && !resolveHost(host, &address)))
    return false;
  _address = sockaddr_in();
  _address.sin_family = AF_INET;
  _address.sin_port = htons(static_cast<u_short>(port));
  _address.sin_addr = address;
  _valid = true;
  return true;
}

bool SocketAddress::isBroadcastAddress() const
{
  return _address.sin_addr.s_addr == INADDR_BROADCAST;
}

std::wstring SocketAddress::toString(bool withPort) const
{
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&_address.sin_addr);
  wchar_t text[50];
  if (withPort)
    swprintf(text, 50, L"%u.%u.%u.%u:%d", bytes[0], bytes[1], bytes[2], bytes[3], getPort());
  else
    swprintf(text, 50, L"%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

Socket::Socket(bool udp)
{
  startLibrary();
  _handle = udp ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (_handle == INVALID_SOCKET) {
    debugPrint(DEBUG_SOCKET, "Socket::Socket(): socket() failed: %s", lastErrorText().c_str());
    return;
  }
  // On Windows SO_REUSEADDR lets a second server bind a port that is in use
  // and take part of its connections; a TCP server asks for the port alone,
  // so that a taken port fails to bind and the next one is tried.
  setOption(_handle, SOL_SOCKET, udp ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE, 1);
}

Socket::Socket(SOCKET handle) : _connected(1), _handle(handle) {}

Socket::~Socket()
{
  close();
}

int Socket::setNoDelay()
{
  return setOption(_handle, IPPROTO_TCP, TCP_NODELAY, 1) ? 0 : SOCKET_ERROR;
}

bool Socket::setReceiveTimeout(int ms)
{
  return setTimeout(_handle, SO_RCVTIMEO, ms);
}

bool Socket::setSendTimeout(int ms)
{
  return setTimeout(_handle, SO_SNDTIMEO, ms);
}

bool Socket::bind(int port)
{
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<u_short>(port));
  if (port < 0 || port > MAX_PORT || ::bind(_handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    debugPrint(DEBUG_SOCKET, "Couldn't bind to %d: %s", port, lastErrorText().c_str());
    return false;
  }
  debugPrint(DEBUG_SOCKET, "Socket bound to port %d", port);
  return true;
}

bool Socket::listen()
{
  if (::listen(_handle, LISTEN_BACKLOG) != 0) {
    debugPrint(DEBUG_SOCKET, "Socket::listen() failed.");
    return false;
  }
  return true;
}

bool Socket::waitForRead(int ms)
{
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(_handle, &readable);
  timeval timeout = {ms / 1000, (ms % 1000) * 1000};
  return select(0, &readable, nullptr, nullptr, &timeout) != 0;
}

Socket* Socket::accept(sockaddr_in* peer)
{
  sockaddr_in address = {};
  int length = sizeof address;
  SOCKET handle = ::accept(_handle, reinterpret_cast<sockaddr*>(&address), &length);
  if (handle == INVALID_SOCKET)
    return nullptr;
  if (peer)
    *peer = address;
  return new Socket(handle);
}

bool Socket::connect(const std::wstring& hostAndPort)
{
  size_t colon = hostAndPort.find(L':');
  int port = colon == std::wstring::npos ? -1 : parsePort(hostAndPort.substr(colon + 1));
  if (port < 0) {
    debugPrint(DEBUG_SOCKET, "Socket: hostname contained no port: %s", toUtf8(hostAndPort).c_str());
    return false;
  }
  return connect(hostAndPort.substr(0, colon), port);
}

bool Socket::connect(const std::wstring& host, int port)
{
  if (_connected)
    shutdown();
  sockaddr_in address = {};
  if (port < 0 || port > MAX_PORT || !resolveHost(host, &address.sin_addr))
    return false;
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  debugPrint(DEBUG_SOCKET, "Connecting to %s:%d", inet_ntoa(address.sin_addr), port);
  if (::connect(_handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return false;
  _connected = 1;
  return true;
}

int Socket::recv(void* buffer, int length)
{
  return ::recv(_handle, static_cast<char*>(buffer), length, 0);
}

int Socket::send(const void* data, int length)
{
  return ::send(_handle, static_cast<const char*>(data), length, 0);
}

int Socket::recvfrom(SocketAddress& from, char* buffer, int length)
{
  sockaddr_in address = {};
  int size = sizeof address;
  int result = ::recvfrom(_handle, buffer, length, 0, reinterpret_cast<sockaddr*>(&address), &size);
  if (result != SOCKET_ERROR)
    from = SocketAddress(reinterpret_cast<sockaddr*>(&address));
  return result;
}

bool Socket::needsBroadcastRetry(int error, const SocketAddress& to)
{
  return error == WSAEACCES && to.isBroadcastAddress();
}

int Socket::sendto(const SocketAddress& to, const char* data, int length)
{
  if (!to.isValid()) {
    debugPrint(DEBUG_SOCKET, "Socket::sendto: Address is bad.");
    return -1;
  }
  for (bool firstTry = true;; firstTry = false) {
    int result = ::sendto(_handle, data, length, 0, reinterpret_cast<const sockaddr*>(&to.get()), sizeof(sockaddr_in));
    debugPrint(DEBUG_SOCKET, " sent %d bytes.", result);
    if (result != SOCKET_ERROR)
      return result;
    int error = WSAGetLastError();
    debugPrint(DEBUG_SOCKET, "WSAGetLastError() returns %d", error);
    debugPrint(DEBUG_SOCKET, "isBroadcastAddress() returns %d", to.isBroadcastAddress());
    if (!firstTry || !needsBroadcastRetry(error, to)) {
      debugPrint(DEBUG_SOCKET, "%s", toUtf8(formatSystemMessage(error)).c_str());
      return -1;
    }
    debugPrint(DEBUG_SOCKET, "Attempting to turn on SO_BROADCAST.");
    setOption(_handle, SOL_SOCKET, SO_BROADCAST, 1);
  }
}

void Socket::shutdown()
{
  if (!_connected)
    return;
  ::shutdown(_handle, SD_BOTH);
  _connected = 0;
}

void Socket::close()
{
  shutdown();
  if (_handle == INVALID_SOCKET)
    return;
  closesocket(_handle);
  _handle = INVALID_SOCKET;
}

// Lingering on with a zero time-out is what makes closesocket send a reset.
void Socket::resetOnClose()
{
  linger abortive = {1, 0};
  setsockopt(_handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
  _connected = 0;
}

int Socket::getMaxMessageSize()
{
  int size = 0;
  int length = sizeof size;
  if (getsockopt(_handle, SOL_SOCKET, SO_MAX_MSG_SIZE, reinterpret_cast<char*>(&size), &length) != 0) {
    debugPrint(DEBUG_SOCKET, "getMaxMessageSize() Error.");
    size = DEFAULT_MAX_MESSAGE_SIZE;
  }
  debugPrint(DEBUG_SOCKET, "getMaxMessageSize() returning %d", size);
  return size;
}

SocketAddress Socket::getLocalAddress() const
{
  sockaddr_in address = {};
  int length = sizeof address;
  if (getsockname(_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return SocketAddress();
  return SocketAddress(reinterpret_cast<sockaddr*>(&address));
}

std::wstring Socket::getLastErrorText()
{
  return formatSystemMessage(WSAGetLastError());
}

namespace {

const char TEST_SENTENCE[] = "The quick brown fox jumps over the lazy dog.";
const char TEST_DATAGRAM[] = "Hello over UDP";
const int TEST_WAIT_MS = 5000;

class SocketServerTestThread : public Thread {
public:
  // Listens before the thread starts, so the client cannot come too early.
  explicit SocketServerTestThread(int port) : _socket(false), _listening(_socket.bind(port) && _socket.listen()) {}
  ~SocketServerTestThread() override { join(); }

  void run() override
  {
    if (!_listening || !_socket.waitForRead(TEST_WAIT_MS))
      return;
    Socket* client = _socket.accept(nullptr);
    if (!client)
      return;
    char buffer[256];
    int got = 0;
    int n;
    while (got < static_cast<int>(sizeof buffer) - 1 && (n = client->recv(buffer + got, sizeof buffer - 1 - got)) > 0)
      got += n;
    buffer[got] = '\0';
    debugPrint(DEBUG_SOCKET, "Server received %d bytes.", got);
    debugPrint(DEBUG_SOCKET, "Server got: %s", buffer);
    received = buffer;
    delete client;
  }

  std::string received;

private:
  Socket _socket;
  bool _listening;
};

bool tcpExchange(int port)
{
  SocketServerTestThread server(port);
  server.start();
  Socket client(false);
  bool sent = client.connect(L"127.0.0.1", port) &&
              client.send(TEST_SENTENCE, sizeof TEST_SENTENCE - 1) == static_cast<int>(sizeof TEST_SENTENCE - 1);
  client.close();
  server.join();
  if (!sent || server.received != TEST_SENTENCE) {
    debugPrint(DEBUG_SOCKET, "Socket test failed: TCP exchange on port %d", port);
    return false;
  }
  return true;
}

bool udpExchange(int port)
{
  Socket receiver(true);
  Socket sender(true);
  if (!receiver.bind(port) || sender.sendto(SocketAddress(L"localhost:" + std::to_wstring(port)), TEST_DATAGRAM,
                                            sizeof TEST_DATAGRAM - 1) < 0) {
    debugPrint(DEBUG_SOCKET, "Socket test failed: UDP send on port %d", port);
    return false;
  }
  char buffer[256];
  SocketAddress from;
  int got = receiver.waitForRead(TEST_WAIT_MS) ? receiver.recvfrom(from, buffer, sizeof buffer - 1) : -1;
  if (got < 0) {
    debugPrint(DEBUG_SOCKET, "Socket test failed: no UDP message on port %d", port);
    return false;
  }
  buffer[got] = '\0';
  debugPrint(DEBUG_SOCKET, "Got UDP message: %s", buffer);
  return strcmp(buffer, TEST_DATAGRAM) == 0;
}

}

bool socketSelfTest(int tcpPort, int udpPort)
{
  return tcpExchange(tcpPort) && udpExchange(udpPort);
}
