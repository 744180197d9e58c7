#include "WebServer.h"

#include "HttpLimits.h"
#include "Log.h"
#include "Socket.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
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
  Mutex mutex;
  MUTEX_LOCK(mutex);
  _started.wait(mutex, __FILE__, __LINE__);
  MUTEX_UNLOCK(mutex);
  return _port;
}

void WebServer::stop()
{
  _stop = true;
}

void WebServer::serve()
{
  run();
}

void WebServer::setAccessLog(AccessLog* sink)
{
  ScopedLock lock(&_mutex);
  _accessLog = sink;
}

void WebServer::run()
{
  _stop = false;
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
    bool ready = listener->waitForRead(ACCEPT_WAIT_MS);
    reapFinished();
    if (ready)
      acceptConnection(*listener);
  }

  delete listener;
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

void WebServer::acceptConnection(Socket& listener)
{
  sockaddr_in peer;
  Socket* socket = listener.accept(&peer);
  if (!socket)
    return;
  RequestThread* thread = new RequestThread(this, socket, peer);
  if (startRequestThread(thread))
    return;
  // Never counted as running, or shutdown would wait for it for ever.
  LogPrintf(WEB_LOG_KEY, "Could not start a thread for a connection; connection dropped.");
  {
    ScopedLock lock(&_mutex);
    --_activeCount;
  }
  delete thread;
}

bool WebServer::startRequestThread(RequestThread* thread)
{
  return thread->start();
}

void WebServer::waitForActiveRequests()
{
  for (;;) {
    MUTEX_LOCK(_mutex);
    int active = _activeCount;
    MUTEX_UNLOCK(_mutex);
    if (active == 0)
      return;
    Thread::sleep(ACCEPT_WAIT_MS);
  }
}

void WebServer::requestStarted(RequestThread*)
{
  ScopedLock lock(&_mutex);
  ++_activeCount;
}

void WebServer::requestFinished(RequestThread* thread)
{
  ScopedLock lock(&_mutex);
  --_activeCount;
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

RequestThread::RequestThread(WebServer* server, Socket* socket, const sockaddr_in& peer)
    : _server(server), _socket(socket), _request(&_parser, peer, socket->getLocalAddress().get()), _response(socket)
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
    if (!_server->dispatch(&_request, &_response))
      _response.sendError(404);
  }
  socket->shutdown();
}

// The parser bounds the head, the header count and the whole request, so
// what a client can make this thread hold is bounded too.
int RequestThread::readRequest(Socket* socket)
{
  char buffer[RECEIVE_BUFFER_BYTES];
  int result = PARSE_INCOMPLETE;
  while (result == PARSE_INCOMPLETE) {
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
