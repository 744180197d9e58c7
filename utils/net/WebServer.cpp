#include "WebServer.h"

#include "HttpLimits.h"
#include "Log.h"
#include "Socket.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

const int WEB_LOG_KEY = LogRegisterKey("L_WebServer", true);
const int WEB_DEBUG_LOG_KEY = LogRegisterKey("D_WebServer", true);
const int WEB_VERBOSE_LOG_KEY = LogRegisterKey("V_WebServer", true);

WebServer::WebServer(int port) : _port(port) {}

WebServer::~WebServer()
{
  stop();
  join();
}

void WebServer::addHandler(HandlerFunction function, void* userData)
{
  _handlers.push_back({userData, function});
}

int WebServer::waitUntilStarted()
{
  // A thread that is not running would never say it started.
  if (!isStarted())
    return NO_PORT;
  Mutex mutex;
  MUTEX_LOCK(mutex);
  _started.wait(mutex, __FILE__, __LINE__);
  MUTEX_UNLOCK(mutex);
  return _port;
}

// The flag is cleared before the thread exists: a stop asked for before its
// first step must still end it.
bool WebServer::start()
{
  join();
  _stop = false;
  return Thread::start();
}

void WebServer::stop()
{
  _stop = true;
}

void WebServer::serve()
{
  _stop = false;
  run();
}

void WebServer::setAccessLog(AccessLog* sink)
{
  ScopedLock lock(&_mutex);
  _accessLog = sink;
}

void WebServer::run()
{
  Socket* listener = new Socket(false);
  if (!bindPort(*listener) || !listener->listen()) {
    // Nobody can connect; say so rather than show a dead address.
    delete listener;
    _port = NO_PORT;
    _started.set();
    return;
  }
  LogPrintf(WEB_VERBOSE_LOG_KEY, "Server started on port %d", _port);
  _started.set();

  while (!_stop) {
    bool traffic = waitForTraffic(*listener);
    reapFinished();
    if (traffic)
      acceptConnections(*listener);
    serveWaitingConnections();
  }

  delete listener;
  closeWaitingConnections();
  LogPrintf(WEB_DEBUG_LOG_KEY, "Waiting for active handlers to quit...");
  waitForActiveRequests();
  reapFinished();
  LogPrintf(WEB_VERBOSE_LOG_KEY, "Web server shut down.");
}

bool WebServer::bindPort(Socket& listener)
{
  const int first = _port;
  const int last = std::min(first + PORT_SEARCH_COUNT - 1, HIGHEST_PORT);
  for (int port = first; port <= last && port > 0; ++port) {
    if (listener.bind(port)) {
      _port = port;
      return true;
    }
    LogPrintf(WEB_VERBOSE_LOG_KEY, "Bind to port %d failed; trying another one", port);
  }
  LogPrintf(WEB_LOG_KEY, "Could not bind any port from %d to %d", first, last);
  return false;
}

namespace {

const int ACCEPT_BATCH = 256;       // connections taken per turn, so a flood cannot starve the rest
const int SHUTDOWN_POLL_MS = 50;

// Whether a connection that reads as ready was closed by its client
// rather than sent bytes; such a connection needs no thread.
bool hasClosed(Socket* socket)
{
  char byte;
  return ::recv(socket->getHandle(), &byte, 1, MSG_PEEK) <= 0;
}

// The status line alone, then closed. Bytes the client sent are read first
// when there are some: closing on unread bytes resets the connection, and the
// client may then lose the answer.
void refuseConnection(Socket* socket, int status, bool hasUnreadBytes)
{
  char unread[4096];
  if (hasUnreadBytes)
    socket->recv(unread, sizeof unread);
  HttpResponse response(socket);
  response.setStatus(status);
  response.sendHeaders();
  socket->shutdown();
  delete socket;
}

}

bool WebServer::SocketSet::has(const Socket* socket) const
{
  for (u_int i = 0; i < fd_count; ++i) {
    if (fd_array[i] == socket->getHandle())
      return true;
  }
  return false;
}

// Waits for a connection, or bytes on a waiting one, at most until the
// oldest waiting connection's time is up; false when nothing came.
bool WebServer::waitForTraffic(Socket& listener)
{
  _readable.fd_count = 0;
  _readable.fd_array[_readable.fd_count++] = listener.getHandle();
  for (const WaitingConnection& connection : _waiting)
    _readable.fd_array[_readable.fd_count++] = connection.socket->getHandle();
  int waitMs = ACCEPT_WAIT_MS;
  if (!_waiting.empty()) {
    int left = RECEIVE_TIMEOUT_MS - static_cast<int>(GetTickCount() - _waiting.front().acceptedAt);
    waitMs = std::max(0, std::min(waitMs, left));
  }
  timeval timeout = {waitMs / 1000, (waitMs % 1000) * 1000};
  if (select(0, reinterpret_cast<fd_set*>(&_readable), nullptr, nullptr, &timeout) > 0)
    return true;
  _readable.fd_count = 0;
  return false;
}

void WebServer::acceptConnections(Socket& listener)
{
  if (!_readable.has(&listener))
    return;
  for (int i = 0; i < ACCEPT_BATCH; ++i) {
    sockaddr_in peer;
    Socket* socket = listener.accept(&peer);
    if (!socket)
      return;
    if (_waiting.size() < static_cast<size_t>(MAX_WAITING_CONNECTIONS)) {
      _waiting.push_back({socket, peer, GetTickCount()});
    } else {
      LogPrintf(WEB_DEBUG_LOG_KEY, "%d connections wait already; answered 503", MAX_WAITING_CONNECTIONS);
      refuseConnection(socket, 503, false);
    }
    if (!listener.waitForRead(0))
      return;
  }
}

// Connections whose first bytes came get a thread; those silent for the
// receive time-out get 400, as a thread's read would have given them.
void WebServer::serveWaitingConnections()
{
  DWORD now = GetTickCount();
  std::vector<WaitingConnection> stillWaiting;
  for (const WaitingConnection& connection : _waiting) {
    if (_readable.has(connection.socket) && hasClosed(connection.socket)) {
      delete connection.socket;
    } else if (_readable.has(connection.socket)) {
      startRequest(connection);
    } else if (now - connection.acceptedAt >= static_cast<DWORD>(RECEIVE_TIMEOUT_MS)) {
      LogPrintf(WEB_DEBUG_LOG_KEY, "Connection sent nothing within %d ms", RECEIVE_TIMEOUT_MS);
      refuseConnection(connection.socket, 400, false);
    } else {
      stillWaiting.push_back(connection);
    }
  }
  _waiting.swap(stillWaiting);
}

void WebServer::startRequest(const WaitingConnection& connection)
{
  if (activeCount() >= MAX_REQUEST_THREADS) {
    LogPrintf(WEB_DEBUG_LOG_KEY, "%d requests are served already; answered 503", MAX_REQUEST_THREADS);
    refuseConnection(connection.socket, 503, true);
    return;
  }
  RequestThread* thread = new RequestThread(this, connection.socket, connection.peer,
                                            connection.acceptedAt + REQUEST_DEADLINE_MS);
  if (startRequestThread(thread))
    return;
  // Never counted as running, or shutdown would wait for it for ever.
  LogPrintf(WEB_LOG_KEY, "Could not start a thread for a connection; connection dropped.");
  {
    ScopedLock lock(&_mutex);
    _active.erase(thread);
  }
  delete thread;
}

void WebServer::closeWaitingConnections()
{
  for (const WaitingConnection& connection : _waiting)
    delete connection.socket;
  _waiting.clear();
}

bool WebServer::startRequestThread(RequestThread* thread)
{
  return thread->start();
}

int WebServer::activeCount()
{
  ScopedLock lock(&_mutex);
  return static_cast<int>(_active.size());
}

// Requests get a grace period to finish; then their connections are cut, so
// that one stalled client cannot hold the shutdown.
void WebServer::waitForActiveRequests()
{
  DWORD began = GetTickCount();
  bool cut = false;
  while (int active = activeCount()) {
    if (!cut && GetTickCount() - began >= static_cast<DWORD>(SHUTDOWN_GRACE_MS)) {
      LogPrintf(WEB_DEBUG_LOG_KEY, "Cutting %d connection(s) still served", active);
      ScopedLock lock(&_mutex);
      for (RequestThread* thread : _active)
        thread->cutConnection();
      cut = true;
    }
    Thread::sleep(SHUTDOWN_POLL_MS);
  }
}

void WebServer::requestStarted(RequestThread* thread)
{
  ScopedLock lock(&_mutex);
  _active.insert(thread);
}

void WebServer::requestFinished(RequestThread* thread)
{
  ScopedLock lock(&_mutex);
  _active.erase(thread);
  _finished.push_back(thread);
}

// Joining under the lock is safe: a finished thread takes it no more.
void WebServer::reapFinished()
{
  ScopedLock lock(&_mutex);
  for (RequestThread* thread : _finished) {
    thread->join();
    if (_accessLog)
      writeAccessLogLine(thread);
    delete thread;
  }
  _finished.clear();
}

void WebServer::writeAccessLogLine(RequestThread* thread)
{
  HttpRequest* request = thread->request();
  HttpResponse* response = thread->response();
  time_t now = time(nullptr);
  std::string when = asctime(localtime(&now));
  when.erase(when.find_last_not_of('\n') + 1);
  char line[1024];
  snprintf(line, sizeof line, "%s - - [%s] \"%s %s\" %d %d \"%s\"", request->remoteAddress().c_str(), when.c_str(),
           request->method(), request->uri(), response->getStatus(), static_cast<int>(response->bytesSent()),
           request->header("referer", "-"));
  _accessLog->writeLine(line);
}

bool WebServer::dispatch(HttpRequest* request, HttpResponse* response)
{
  for (const HandlerInfo& handler : _handlers) {
    handler.function(request, response, handler.userData);
    if (response->headersSent())
      return true;
  }
  return false;
}

RequestThread::RequestThread(WebServer* server, Socket* socket, const sockaddr_in& peer, DWORD deadline)
    : _server(server), _socket(socket), _deadline(deadline), _request(&_parser, peer, socket->getLocalAddress().get()), _response(socket)
{
  LogPrintf(WEB_DEBUG_LOG_KEY, "Create handler [%p]", this);
  _server->requestStarted(this);
}

RequestThread::~RequestThread()
{
  join();
  delete _socket;
  LogPrintf(WEB_DEBUG_LOG_KEY, "Destroy handler [%p]", this);
}

void RequestThread::cutConnection()
{
  _socket->shutdown();
  // A send blocked on a client that stopped reading does not return on
  // shutdown (not under Wine, at least), only when cancelled.
  CancelIoEx(reinterpret_cast<HANDLE>(_socket->getHandle()), nullptr);
}

void RequestThread::run()
{
  handleConnection(_socket);
  _server->requestFinished(this);
}

void RequestThread::handleConnection(Socket* socket)
{
  SetThreadExecutionState(ES_SYSTEM_REQUIRED);
  socket->setNoDelay();
  if (!socket->setReceiveTimeout(RECEIVE_TIMEOUT_MS))
    LogPrintf(WEB_VERBOSE_LOG_KEY, "Socket::setReceiveTimeout failed.");
  if (!socket->setSendTimeout(SEND_TIMEOUT_MS))
    LogPrintf(WEB_VERBOSE_LOG_KEY, "Socket::setSendTimeout failed.");

  if (readRequest(socket) != PARSE_COMPLETE) {
    refuseRequest();
  } else {
    LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] Got request method=%s URI=%s", this, _request.method(), _request.uri());
    if (strcmp(_request.method(), "HEAD") == 0)
      _response.setHeadOnly();
    if (!dispatchCaught())
      _response.sendError(404);
  }
  socket->shutdown();
}

// A handler that throws (memory running out on a huge answer, say) fails
// its own request and nothing else.
bool RequestThread::dispatchCaught()
{
  try {
    return _server->dispatch(&_request, &_response);
  } catch (const std::exception& error) {
    LogPrintf(WEB_LOG_KEY, "[%p] request failed: %s", this, error.what());
  } catch (...) {
    LogPrintf(WEB_LOG_KEY, "[%p] request failed", this);
  }
  _response.sendError(500);
  return true;
}

// The parser bounds the head, the header count and the whole request, and
// the deadline the time, so what a client can make this thread hold is
// bounded too.
int RequestThread::readRequest(Socket* socket)
{
  char buffer[RECEIVE_BUFFER_BYTES];
  int result = PARSE_INCOMPLETE;
  while (result == PARSE_INCOMPLETE) {
    int left = static_cast<int>(_deadline - GetTickCount());
    if (left <= 0) {
      LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] request not complete within %d ms", this, REQUEST_DEADLINE_MS);
      break;
    }
    if (left < RECEIVE_TIMEOUT_MS)
      socket->setReceiveTimeout(left);
    int received = socket->recv(buffer, sizeof buffer);
    if (received < 1)
      break;
    result = _parser.feed(buffer, static_cast<unsigned>(received));
  }
  return result;
}

void RequestThread::refuseRequest()
{
  if (_parser.refusal())
    LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] request refused: %s", this, _parser.refusal());
  else
    LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] incomplete request", this);
  _response.setStatus(400);
  _response.sendHeaders();
}
