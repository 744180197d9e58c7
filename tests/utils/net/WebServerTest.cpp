#include "HttpLimits.h"
#include "LoopbackClient.h"
#include "Socket.h"
#include "TestSupport.h"
#include "WebServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

const std::string BAD_REQUEST = "HTTP/1.0 400 Bad Request\r\n\r\n";

std::string bodyOf(const std::string& answer)
{
  size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

// Fails to start every other request thread, as when threads run out.
struct FailingStartServer : WebServer {
  using WebServer::WebServer;
  bool startRequestThread(RequestThread* thread) override
  {
    return ++starts % 2 == 0 && WebServer::startRequestThread(thread);
  }
  int starts = 0;
};

class WebServerTest : public ::testing::Test {
protected:
  void TearDown() override { stop(); }

  void start(WebServer* s = nullptr)
  {
    server = s ? s : new WebServer(randomHighPort());
    server->addHandler(handle, this);
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

  // "/big" sends 64 MiB unless the client goes first, counting those; "/missing"
  // is declined; the rest answer what the server made of the request, "/slow"
  // after a pause and "/hold" once released.
  static void handle(HttpRequest* request, HttpResponse* response, void* data)
  {
    WebServerTest& test = *static_cast<WebServerTest*>(data);
    std::string path = request->path();
    if (path == "/big") {
      std::string block(65536, 'b');
      response->setStatus(200);
      for (int i = 0; i < 1024 && !response->sendFailed(); ++i)
        response->write(block.data(), static_cast<unsigned>(block.size()));
      test.bigStops += response->sendFailed();
      return;
    }
    if (path == "/slow")
      Sleep(1500);
    if (path == "/throw")
      throw std::bad_alloc();
    if (path == "/hold") {
      ++test.holding;
      while (!test.released)
        Sleep(10);
    }
    if (path != "/missing")
      response->sendText((std::string(request->method()) + "|" + request->uri() + "|" + request->host()).c_str());
  }

  LogRecorder log;
  WebServer* server = nullptr;
  int port = 0;
  std::atomic<int> bigStops{0};
  std::atomic<int> holding{0};
  std::atomic<bool> released{false};
};

int handlerLines(LogRecorder& log, const std::string& start)
{
  int count = 0;
  for (const std::string& line : log.lines("D_WebServer"))
    count += line.compare(0, start.size(), start) == 0;
  return count;
}

}

TEST_F(WebServerTest, HandlerChainAnswersOr404AndFinishedThreadsAreReaped)
{
  start();
  EXPECT_EQ(bodyOf(roundTrip(port, "GET /echo?q HTTP/1.0\r\n\r\n")), "GET|/echo?q|127.0.0.1:" + std::to_string(port))
      << "no Host: this end's address";
  EXPECT_EQ(get("/missing").substr(0, 24), "HTTP/1.0 404 Not Found\r\n");
  std::string echoed = "HEAD|/echo|127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(roundTrip(port, "HEAD /echo HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(echoed.size()) + "\r\nContent-type: text\r\n\r\n")
      << "the head alone";
  // Finished threads are reaped while the server runs, not only at its end.
  for (int i = 0; i < 50 && handlerLines(log, "Destroy handler ") < 3; ++i)
    Sleep(100);
  EXPECT_EQ(handlerLines(log, "Destroy handler "), 3);
  EXPECT_EQ(get("/throw").substr(0, 36), "HTTP/1.0 500 Internal Server Error\r\n");
  EXPECT_EQ(bodyOf(get("/echo")), "GET|/echo|test") << "the server goes on";
}

TEST_F(WebServerTest, StallingAndVanishingClientsDoNotDisturbOthers)
{
  start();
  DWORD began = GetTickCount();
  LoopbackClient silent(port), notReading(port), trickling(port), oversized(port), stopsSending(port);
  std::atomic<bool> cutOff{false};
  std::thread trickle([&] {
    const std::string request = "GET /echo HTTP/1.0\r\nX: " + std::string(100, 'a');
    for (size_t i = 0; !cutOff && i < request.size() && trickling.send(request.substr(i, 1)); ++i)
      Sleep(300);
  });
  ASSERT_TRUE(notReading.send("GET /big HTTP/1.0\r\n\r\n"));
  // Whatever ends a request early is answered at once, not after the receive time-out.
  oversized.send("GET /echo HTTP/1.0\r\nX-Long: " + std::string(1 << 20, 'a') + "\r\n\r\n");
  EXPECT_EQ(oversized.receive(), BAD_REQUEST);
  stopsSending.send("POST /echo HTTP/1.0\r\nContent-Length: 100\r\n\r\nabc");
  stopsSending.shutdownSend();
  EXPECT_EQ(stopsSending.receive(), BAD_REQUEST);
  EXPECT_LT(GetTickCount() - began, static_cast<DWORD>(RECEIVE_TIMEOUT_MS - 1000));
  EXPECT_EQ(silent.receive(RECEIVE_TIMEOUT_MS + 5000), BAD_REQUEST);
  EXPECT_GE(GetTickCount() - began, static_cast<DWORD>(RECEIVE_TIMEOUT_MS - 500));
  EXPECT_EQ(trickling.receive(REQUEST_DEADLINE_MS), BAD_REQUEST) << "cut off at the deadline";
  EXPECT_GE(GetTickCount() - began, static_cast<DWORD>(REQUEST_DEADLINE_MS - 500));
  cutOff = true;
  trickle.join();
  for (int i = 0; i < 300 && bigStops < 1; ++i)
    Sleep(100);
  EXPECT_EQ(bigStops, 1) << "a big answer stops when its client stops reading";
}

TEST_F(WebServerTest, IdleConnectionsTakeNoThreadAndRequestsBeyondTheCapGet503)
{
  start();
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 2000; ++i) {
    clients.emplace_back(new LoopbackClient(port));
    ASSERT_TRUE(clients.back()->isConnected()) << i;
  }
  // The request queues behind them: the server has taken them all before it.
  DWORD began = GetTickCount();
  EXPECT_EQ(bodyOf(get("/echo")), "GET|/echo|test") << "answered while 2000 connections are idle";
  // Behind idle connections it would wait out their 10-s receive time-out;
  // a loaded machine takes up to 2 s.
  EXPECT_LT(GetTickCount() - began, 5000u);
  clients.clear();

  for (int i = 0; i < MAX_REQUEST_THREADS + 3; ++i) {
    clients.emplace_back(new LoopbackClient(port));
    ASSERT_TRUE(clients.back()->send("GET /hold?" + std::to_string(i) + " HTTP/1.0\r\nHost: h\r\n\r\n"));
  }
  for (int i = 0; i < 300 && holding < MAX_REQUEST_THREADS; ++i)
    Sleep(100);
  EXPECT_EQ(holding, MAX_REQUEST_THREADS);
  EXPECT_EQ(get("/echo"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  released = true;
  int answered = 0, refused = 0;
  for (size_t i = 0; i < clients.size(); ++i) {
    std::string answer = clients[i]->receive();
    answered += bodyOf(answer) == "GET|/hold?" + std::to_string(i) + "|h";
    refused += answer == "HTTP/1.0 503 Service Unavailable\r\n\r\n";
  }
  EXPECT_EQ(answered, MAX_REQUEST_THREADS);
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(bodyOf(get("/echo")), "GET|/echo|test");
}

TEST_F(WebServerTest, PortSearchSkipsHeldPortsAndStopsAtTheHighest)
{
  int wanted = randomHighPort();
  Socket holder(false);
  ASSERT_TRUE(holder.bind(wanted) && holder.listen());
  start(new WebServer(wanted));
  EXPECT_GT(port, wanted);

  // Every port from the start to 65535 held: no wrapping round.
  int first = HIGHEST_PORT - randomHighPort() % 50;
  std::vector<std::unique_ptr<Socket>> holders;
  for (int p = first; p <= HIGHEST_PORT; ++p) {
    holders.emplace_back(new Socket(false));
    holders.back()->bind(p);
  }
  WebServer unbound(first);
  ASSERT_TRUE(unbound.start());
  EXPECT_EQ(unbound.waitUntilStarted(), WebServer::NO_PORT);
}

// Nothing sets the started signal of a thread that is not running.
TEST(WebServerStart, WaitingForAServerThatIsNotRunningReturnsAtOnce)
{
  WebServer idle(randomHighPort());
  EXPECT_EQ(idle.waitUntilStarted(), WebServer::NO_PORT);
}

// A stop that comes before the server thread's first step ends it all the same.
TEST(WebServerStart, ServersDeletedRightAfterStartEnd)
{
  Deadline deadline(30000);
  for (int i = 0; i < 50; ++i) {
    WebServer server(randomHighPort());
    ASSERT_TRUE(server.start());
  }
}

// Requests that end within the grace period are answered in full; a client
// that stalls is cut off then, so the shutdown is bounded. The trickling
// client would keep its request going until the request deadline, well past
// the grace period.
TEST_F(WebServerTest, ShutdownWaitsForRunningRequestsThenCutsStalledOnes)
{
  int before = countThreads();
  start();
  LoopbackClient slow(port), notReading(port), trickling(port);
  ASSERT_TRUE(slow.send("GET /slow HTTP/1.0\r\nHost: test\r\n\r\n"));
  ASSERT_TRUE(notReading.send("GET /big HTTP/1.0\r\n\r\n"));
  std::thread trickle([&] {
    for (std::string line = "GET /echo HTTP/1.0\r\nX: "; trickling.send(line); line = "a")
      Sleep(200);
  });
  while (handlerLines(log, "Create handler ") < 3)
    Sleep(10);
  DWORD began = GetTickCount();
  stop();
  DWORD took = GetTickCount() - began;
  trickle.join();
  EXPECT_GE(took, 700u) << "deleting the server waited for the requests";
  // The server notices the stop within its accept wait.
  EXPECT_LT(took, static_cast<DWORD>(ACCEPT_WAIT_MS + SHUTDOWN_GRACE_MS + 2000));
  EXPECT_EQ(bodyOf(slow.receive()), "GET|/slow|test") << "answered in full";
  EXPECT_LE(countThreads(), before);
  EXPECT_FALSE(LoopbackClient(port).isConnected()) << "the listening socket is closed";
}

TEST_F(WebServerTest, ThreadThatFailsToStartIsUndone)
{
  start(new FailingStartServer(randomHighPort()));
  EXPECT_EQ(get("/echo"), "") << "the connection is dropped";
  DWORD began = GetTickCount();
  stop();
  EXPECT_LT(GetTickCount() - began, 5000u) << "shutdown does not wait for the thread that never ran";
}
