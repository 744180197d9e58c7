#pragma once

#include <winsock2.h>

#include <string>

// A plain Winsock client on 127.0.0.1 for talking to servers under test,
// independent of the Socket class it tests.
class LoopbackClient {
public:
  explicit LoopbackClient(int port);
  ~LoopbackClient();
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool isConnected() const { return _connected; }
  bool send(const std::string& data);
  void shutdownSend();
  // Everything until the server closes, or what came within the time-out.
  std::string receiveAll(int timeoutMs = 15000);
  std::string receiveSome(size_t atMost, int timeoutMs = 15000);
  // Ends the connection with a reset instead of an orderly close.
  void abort();

  SOCKET handle() const { return _socket; }

private:
  SOCKET _socket;
  bool _connected = false;
};

// One request on a fresh connection; the whole answer.
std::string roundTrip(int port, const std::string& request);

// A random port in a high range below Linux's ephemeral one, where a search
// for a free port can start without meeting other test runs' servers.
int randomHighPort();

// A connected pair of sockets on 127.0.0.1; the accepted end is returned for
// wrapping, the client end stays here.
class LoopbackPair {
public:
  LoopbackPair();
  ~LoopbackPair();
  SOCKET takeAccepted();
  LoopbackClient& client() { return *_client; }

private:
  SOCKET _accepted = INVALID_SOCKET;
  LoopbackClient* _client = nullptr;
};

void startWinsock();
