#include "HttpLimits.h"
#include "LoopbackClient.h"
#include "TestSupport.h"
#include "WebServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

const std::string BAD_REQUEST = "HTTP/1.0 400 Bad Request\r\n\r\n";

std::string statusLine(const std::string& answer)
{
  return answer.substr(0, answer.find("\r\n"));
}

std::string bodyOf(const std::string& answer)
{
  size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

struct Shared {
  std::atomic<int> bigStops{0};
  std::atomic<int> holding{0};
  std::atomic<bool> released{false};
};

// "/echo" answers what the server made of the request, "/slow?MS" the same
// after a pause, "/hold" the same once released; "/big" 64 MiB unless the
// client goes first, counting those.
void testHandler(HttpRequest* request, HttpResponse* response, void* data)
{
  Shared& shared = *static_cast<Shared*>(data);
  std::string path = request->path();
  if (path == "/slow")
    Sleep(static_cast<DWORD>(atoi(request->query())));
  if (path == "/hold") {
    ++shared.holding;
    while (!shared.released)
      Sleep(10);
    path = "/echo";
  }
  if (path == "/echo" || path == "/slow")
    response->sendText((std::string(request->method()) + "|" + request->uri() + "|" + request->query() + "|" +
                        std::to_string(request->contentLength()) + "|" + (request->body() ? request->body() : "") +
                        "|" + request->host())
                           .c_str());
  if (path != "/big")
    return;
  std::string block(65536, 'b');
  response->setStatus(200);
  for (int i = 0; i < 1024 && !response->sendFailed(); ++i)
    response->write(block.data(), static_cast<unsigned>(block.size()));
  shared.bigStops += response->sendFailed();
}

// Declines every request, leaving a header for whoever answers.
void markingHandler(HttpRequest*, HttpResponse* response, void*)
{
  response->setHeader("X-Marked", "1");
}

struct AccessLines : WebServer::AccessLog {
  void writeLine(const char* line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// Fails to start every other request thread, as when threads run out.
class FailingStartServer : public WebServer {
public:
  using WebServer::WebServer;

protected:
  bool startRequestThread(RequestThread* thread) override
  {
    return ++_starts % 2 == 0 && WebServer::startRequestThread(thread);
  }
  int _starts = 0;
};

class WebServerTest : public ::testing::Test {
protected:
  void TearDown() override { stop(); }

  void start(WebServer* s = nullptr)
  {
    server = s ? s : new WebServer(randomHighPort());
    server->addHandler(markingHandler, nullptr);
    server->addHandler(testHandler, &shared);
    ASSERT_TRUE(server->start());
    port = server->waitUntilStarted();
    ASSERT_GT(port, 0);
  }

  // A shutdown that hangs ends the test program at once, rather than by the
  // test run's time-out.
  void stop()
  {
    Deadline deadline(SHUTDOWN_GRACE_MS + 15000);
    delete server;
    server = nullptr;
  }

  std::string get(const std::string& target)
  {
    return roundTrip(port, "GET " + target + " HTTP/1.0\r\nHost: test\r\n\r\n");
  }

  LogRecorder log;
  WebServer* server = nullptr;
  int port = 0;
  Shared shared;
};

int destroyedHandlers(LogRecorder& log)
{
  int count = 0;
  for (const std::string& line : log.lines("D_WebServer"))
    count += line.compare(0, 16, "Destroy handler ") == 0;
  return count;
}

}

TEST_F(WebServerTest, HandlerChainAnswersOr404AndWritesTheAccessLog)
{
  AccessLines access;
  start();
  server->setAccessLog(&access);
  std::string answer = roundTrip(port, "GET /echo?q HTTP/1.0\r\nReferer: http://x/\r\n\r\n");
  EXPECT_EQ(bodyOf(answer), "GET|/echo?q|q|0||127.0.0.1:" + std::to_string(port)) << "no Host: this end's address";
  std::string missing = get("/nothing/here");
  EXPECT_EQ(statusLine(missing), "HTTP/1.0 404 Not Found");
  EXPECT_NE(missing.find("\r\nX-Marked: 1\r\n"), std::string::npos) << "a declining handler's header goes out too";
  std::string head = roundTrip(port, "HEAD /echo HTTP/1.0\r\n\r\n");
  std::string echoed = "HEAD|/echo||0||127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(head, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(echoed.size()) +
                      "\r\nContent-type: text\r\nX-Marked: 1\r\n\r\n")
      << "the head alone";
  // Finished threads are reaped while the server runs, not only at its end.
  for (int i = 0; i < 50 && destroyedHandlers(log) < 3; ++i)
    Sleep(100);
  EXPECT_EQ(destroyedHandlers(log), 3);
  stop();  // the access log must outlive the server
  ASSERT_EQ(access.lines.size(), 3u);
  const std::string& line = access.lines[0];
  std::string tail = "] \"GET /echo?q\" 200 " + std::to_string(answer.size()) + " \"http://x/\"";
  EXPECT_EQ(line.substr(0, 15), "127.0.0.1 - - [");
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

TEST_F(WebServerTest, RequestsArrivingInPieces)
{
  struct Case {
    std::vector<std::string> pieces;
    bool closeAfter;  // the client sends nothing more
    std::string answer;
  };
  // The parser's tests take every split; here, the server's reading loop.
  const Case cases[] = {
      {{"POST /echo HTTP/1.0\r\nHost: h\r\nContent-Length: 5\r\n\r\n", "ab", "cde"}, false, "POST|/echo||5|abcde|h"},
      {{"POST /echo HTTP/1.0\r\nHost: h\r\nContent-Length: 2\r\n\r\nabcdef"}, false, "POST|/echo||2|ab|h"},
      {{"POST /echo HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc"}, true, BAD_REQUEST},
  };
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pieces[0]);
    LoopbackClient client(port);
    for (const std::string& piece : c.pieces) {
      ASSERT_TRUE(client.send(piece));
      Sleep(20);
    }
    if (c.closeAfter)
      client.shutdownSend();
    std::string answer = client.receive();
    EXPECT_EQ(c.closeAfter ? answer : bodyOf(answer), c.answer);
  }
}

// The parser's own tests take every bad request; the server's part is to
// answer at once, while the client is still sending.
TEST_F(WebServerTest, OversizedRequestGetsTheBare400AtOnce)
{
  start();
  DWORD began = GetTickCount();
  LoopbackClient client(port);
  client.send("GET /echo HTTP/1.0\r\nX-Long: " + std::string(1 << 20, 'a') + "\r\n\r\n");
  EXPECT_EQ(client.receive(), BAD_REQUEST);
  EXPECT_LT(GetTickCount() - began, 3000u) << "answered at once, not after the receive time-out";
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, StallingAndVanishingClientsDoNotDisturbOthers)
{
  start();
  DWORD began = GetTickCount();
  LoopbackClient silent(port), notReading(port), leaving(port), trickling(port);
  std::atomic<bool> cutOff{false};
  std::thread trickle([&] {
    const std::string request = "GET /echo HTTP/1.0\r\nX: " + std::string(100, 'a');
    for (size_t i = 0; !cutOff && i < request.size() && trickling.send(request.substr(i, 1)); ++i)
      Sleep(300);
  });
  ASSERT_TRUE(notReading.send("GET /big HTTP/1.0\r\n\r\n"));
  ASSERT_TRUE(leaving.send("GET /big HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(leaving.receive(200000).size(), 200000u);
  leaving.abort();
  {
    LoopbackClient closesMidHead(port);
    closesMidHead.send("GET /echo HTTP/1.0\r\nHo");
  }
  for (const char* partial : {"POST /echo HTTP/1.0\r\nContent-Length: 100\r\n\r\nabc", ""}) {
    LoopbackClient resets(port);
    resets.send(partial);
    resets.abort();
  }
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
  EXPECT_EQ(silent.receive(std::string::npos, RECEIVE_TIMEOUT_MS + 5000), BAD_REQUEST);
  EXPECT_GE(GetTickCount() - began, static_cast<DWORD>(RECEIVE_TIMEOUT_MS - 500));
  EXPECT_EQ(trickling.receive(std::string::npos, REQUEST_DEADLINE_MS), BAD_REQUEST) << "cut off at the deadline";
  EXPECT_GE(GetTickCount() - began, static_cast<DWORD>(REQUEST_DEADLINE_MS - 500));
  cutOff = true;
  trickle.join();
  for (int i = 0; i < 300 && shared.bigStops < 2; ++i)
    Sleep(100);
  EXPECT_EQ(shared.bigStops, 2) << "a big answer stops when its client resets or stops reading";
  EXPECT_LT(GetTickCount() - began, static_cast<DWORD>(REQUEST_DEADLINE_MS + 2 * SEND_TIMEOUT_MS));
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, IdleConnectionsTakeNoThreadAndRequestsBeyondTheCapGet503)
{
  start();
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 2000; ++i) {
    clients.emplace_back(new LoopbackClient(port));
    ASSERT_TRUE(clients.back()->isConnected()) << i;
  }
  Sleep(1000);  // the server has taken them all, well within their receive time-out
  DWORD began = GetTickCount();
  EXPECT_EQ(bodyOf(get("/echo?x")), "GET|/echo?x|x|0||test") << "answered while 2000 connections are idle";
  EXPECT_LT(GetTickCount() - began, 1000u);
  clients.clear();

  for (int i = 0; i < MAX_REQUEST_THREADS + 3; ++i) {
    clients.emplace_back(new LoopbackClient(port));
    ASSERT_TRUE(clients.back()->send("GET /hold?" + std::to_string(i) + " HTTP/1.0\r\nHost: h\r\n\r\n"));
  }
  for (int i = 0; i < 300 && shared.holding < MAX_REQUEST_THREADS; ++i)
    Sleep(100);
  EXPECT_EQ(shared.holding, MAX_REQUEST_THREADS);
  EXPECT_EQ(get("/echo"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  shared.released = true;
  int answered = 0, refused = 0;
  for (size_t i = 0; i < clients.size(); ++i) {
    std::string answer = clients[i]->receive();
    answered += bodyOf(answer) == "GET|/hold?" + std::to_string(i) + "|" + std::to_string(i) + "|0||h";
    refused += answer == "HTTP/1.0 503 Service Unavailable\r\n\r\n";
  }
  EXPECT_EQ(answered, MAX_REQUEST_THREADS);
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, PortSearchSkipsHeldPortsAndStopsAtTheHighest)
{
  int wanted = randomHighPort();
  SOCKET holder = listenOn(wanted);
  ASSERT_NE(holder, INVALID_SOCKET);
  start(new WebServer(wanted));
  EXPECT_GT(port, wanted);
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
  closesocket(holder);

  // Every port from the start to 65535 held: no wrapping round.
  int first = HIGHEST_PORT - randomHighPort() % 50;
  std::vector<SOCKET> holders;
  for (int p = first; p <= HIGHEST_PORT; ++p)
    holders.push_back(listenOn(p));
  for (int from : {first, 70000}) {
    WebServer unbound(from);
    ASSERT_TRUE(unbound.start());
    EXPECT_EQ(unbound.waitUntilStarted(), WebServer::NO_PORT) << from;
  }
  for (SOCKET s : holders)
    closesocket(s);
}

// Requests that end within the grace period are answered in full; a client
// that stalls is cut off then, so the shutdown is bounded.
TEST_F(WebServerTest, ShutdownWaitsForRunningRequestsThenCutsStalledOnes)
{
  int before = countThreads();
  start();
  std::vector<std::thread> clients;
  std::vector<std::string> answers(3);
  for (std::string& answer : answers)
    clients.emplace_back([this, &answer] { answer = get("/slow?1500"); });
  LoopbackClient notReading(port), trickling(port);
  ASSERT_TRUE(notReading.send("GET /big HTTP/1.0\r\n\r\n"));
  ASSERT_TRUE(trickling.send("GET /echo HTTP/1.0\r\n"));
  Sleep(500);
  DWORD began = GetTickCount();
  stop();
  DWORD took = GetTickCount() - began;
  EXPECT_GE(took, 700u) << "deleting the server waited for the requests";
  EXPECT_LT(took, static_cast<DWORD>(SHUTDOWN_GRACE_MS + 2000));
  for (std::thread& t : clients)
    t.join();
  for (const std::string& answer : answers)
    EXPECT_EQ(bodyOf(answer), "GET|/slow?1500|1500|0||test");
  EXPECT_LE(countThreads(), before);
  EXPECT_FALSE(LoopbackClient(port).isConnected()) << "the listening socket is closed";
}

TEST_F(WebServerTest, ThreadThatFailsToStartIsUndone)
{
  start(new FailingStartServer(randomHighPort()));
  EXPECT_EQ(get("/echo"), "") << "the connection is dropped";
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
  DWORD began = GetTickCount();
  stop();
  EXPECT_LT(GetTickCount() - began, 5000u) << "shutdown does not wait for the thread that never ran";
}
