#pragma once

#include "HttpLimits.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Thread.h"

#include <winsock2.h>

#include <atomic>
#include <list>
#include <set>
#include <vector>

class RequestThread;
class Socket;

// The HTTP/1.0 server: a thread that binds a port, accepts connections and
// serves each on a RequestThread of its own, one request per connection. A
// connection gets its thread only once its first bytes arrive, so idle
// connections cost no thread; both are capped (HttpLimits.h).
class WebServer : public Thread {
public:
  // A handler takes a request by sending the response head; one that returns
  // without sending declines it, and the next handler is asked.
  typedef void (*HandlerFunction)(HttpRequest* request, HttpResponse* response, void* userData);

  struct HandlerInfo {
    void* userData;
    HandlerFunction function;
  };

  // Receives one line per served request when installed.
  class AccessLog {
  public:
    virtual ~AccessLog() = default;
    virtual void writeLine(const char* line) = 0;
  };

  // What waitUntilStarted gives when nothing could be bound, or the thread
  // is not running.
  static constexpr int NO_PORT = -1;

  explicit WebServer(int port);
  ~WebServer() override;

  void addHandler(HandlerFunction function, void* userData);
  bool start() override;
  int waitUntilStarted();
  void stop();
  void serve();
  void setAccessLog(AccessLog* sink);

  void requestStarted(RequestThread* thread);
  void requestFinished(RequestThread* thread);
  bool dispatch(HttpRequest* request, HttpResponse* response);

  void run() override;

protected:
  // Where a request thread is started; a test can make it fail.
  virtual bool startRequestThread(RequestThread* thread);

private:
  // Accepted, nothing received yet; known to the server thread alone.
  struct WaitingConnection {
    Socket* socket;
    sockaddr_in peer;
    DWORD acceptedAt;
  };
  // What select takes: Winsock reads fd_count, so the set may exceed FD_SETSIZE.
  struct SocketSet {
    u_int fd_count;
    SOCKET fd_array[MAX_WAITING_CONNECTIONS + 1];
    bool has(const Socket* socket) const;
  };

  bool bindPort(Socket& listener);
  bool waitForTraffic(Socket& listener);
  void acceptConnections(Socket& listener);
  void serveWaitingConnections();
  void startRequest(const WaitingConnection& connection);
  void closeWaitingConnections();
  int activeCount();
  void waitForActiveRequests();
  void reapFinished();
  void writeAccessLogLine(RequestThread* thread);

  std::atomic<bool> _stop{false};
  int _port;                           // asked for; once bound, the bound one
  Mutex _mutex;                        // guards the active set, the finished list and the access log
  std::set<RequestThread*> _active;
  std::vector<RequestThread*> _finished;
  std::vector<WaitingConnection> _waiting;  // oldest first
  SocketSet _readable;
  std::list<HandlerInfo> _handlers;    // filled before start, read without a lock
  Event _started;
  AccessLog* _accessLog = nullptr;     // not owned
};

// One connection: read and parse one request, offer it to the handlers,
// answer, shut the connection down.
class RequestThread : public Thread {
public:
  // The whole request must have arrived by the tick count deadline.
  RequestThread(WebServer* server, Socket* socket, const sockaddr_in& peer, DWORD deadline);
  ~RequestThread() override;

  void run() override;
  // Makes every read and write of the connection fail, so that the thread ends soon.
  void cutConnection();

  HttpRequest* request() { return &_request; }
  HttpResponse* response() { return &_response; }

private:
  void handleConnection(Socket* socket);
  bool dispatchCaught();
  int readRequest(Socket* socket);
  void refuseRequest();

  WebServer* _server;   // not owned
  Socket* _socket;      // owned
  DWORD _deadline;
  RequestParser _parser;
  HttpRequest _request;
  HttpResponse _response;
};
