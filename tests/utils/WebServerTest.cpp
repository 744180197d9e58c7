#include "HttpLimits.h"
#include "Log.h"
#include "LoopbackClient.h"
#include "WebServer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;

void recordLine(const char* key, const char* text)
{
  std::lock_guard<std::mutex> lock(logMutex);
  logLines.push_back(std::string(key) + ": " + text);
}

bool logged(const std::string& line)
{
  std::lock_guard<std::mutex> lock(logMutex);
  for (const std::string& l : logLines) {
    if (l == line)
      return true;
  }
  return false;
}

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

// "/echo": what the server made of the request.
void echoHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/echo") != 0)
    return;
  std::string text = std::string(request->method()) + "|" + request->uri() + "|" + request->query() + "|" +
                     std::to_string(request->contentLength()) + "|" + (request->body() ? request->body() : "") +
                     "|" + request->host();
  response->sendText(text.c_str());
}

// "/slow?ms": answers after a pause.
void slowHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/slow") != 0)
    return;
  Sleep(static_cast<DWORD>(atoi(request->query())));
  response->sendText("slept");
}

struct BigResult {
  std::atomic<bool> done{false};
  std::atomic<bool> failed{false};
};

// "/big": 64 MiB, stopping early when the client goes.
void bigHandler(HttpRequest* request, HttpResponse* response, void* userData)
{
  if (strcmp(request->path(), "/big") != 0)
    return;
  BigResult* result = static_cast<BigResult*>(userData);
  std::string block(65536, 'b');
  response->setStatus(200);
  for (int i = 0; i < 1024 && !response->sendFailed(); ++i)
    response->write(block.data(), static_cast<unsigned>(block.size()));
  result->failed = response->sendFailed();
  result->done = true;
}

// Declines every request, leaving a header for whoever answers.
void markingHandler(HttpRequest*, HttpResponse* response, void*)
{
  response->setHeader("X-Marked", "1");
}

class WebServerTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    logLines.clear();
    LogSetSink(recordLine);
  }

  void TearDown() override
  {
    delete server;
    server = nullptr;
    LogSetSink(nullptr);
  }

  void start(WebServer* s = nullptr)
  {
    server = s ? s : new WebServer(randomHighPort());
    server->addHandler(markingHandler, nullptr);
    server->addHandler(echoHandler, nullptr);
    server->addHandler(slowHandler, nullptr);
    server->addHandler(bigHandler, &big);
    ASSERT_TRUE(server->start());
    port = server->waitUntilStarted();
    ASSERT_GT(port, 0);
  }

  std::string get(const std::string& target)
  {
    return roundTrip(port, "GET " + target + " HTTP/1.0\r\nHost: test\r\n\r\n");
  }

  WebServer* server = nullptr;
  int port = 0;
  BigResult big;
};

int threadCount()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId())
      ++count;
  }
  CloseHandle(snapshot);
  return count;
}

}

TEST_F(WebServerTest, HandlerChainAnswersOr404)
{
  start();
  std::string answer = get("/echo?a=1");
  EXPECT_EQ(statusLine(answer), "HTTP/1.0 200 OK");
  EXPECT_EQ(bodyOf(answer), "GET|/echo?a=1|a=1|0||test");

  answer = get("/nothing/here");
  EXPECT_EQ(statusLine(answer), "HTTP/1.0 404 Not Found");
  EXPECT_NE(answer.find("\r\nX-Marked: 1\r\n"), std::string::npos) << "a declining handler's header goes out too";
  EXPECT_NE(answer.find("<h1>Not Found</h1>"), std::string::npos);
}

TEST_F(WebServerTest, RequestSentOneByteAtATime)
{
  start();
  LoopbackClient client(port);
  const std::string request = "POST /echo HTTP/1.0\r\nHost: h\r\nContent-Length: 3\r\n\r\nxyz";
  for (char c : request) {
    ASSERT_TRUE(client.send(std::string(1, c)));
    Sleep(2);
  }
  EXPECT_EQ(bodyOf(client.receiveAll()), "POST|/echo||3|xyz|h");
}

TEST_F(WebServerTest, RequestSplitAtTheHeadBodyBorder)
{
  start();
  LoopbackClient client(port);
  ASSERT_TRUE(client.send("POST /echo HTTP/1.0\r\nContent-Length: 5\r\n\r\n"));
  Sleep(300);
  ASSERT_TRUE(client.send("ab"));
  Sleep(300);
  ASSERT_TRUE(client.send("cde"));
  EXPECT_EQ(bodyOf(client.receiveAll()), "POST|/echo||5|abcde|127.0.0.1:" + std::to_string(port));
}

TEST_F(WebServerTest, BodyLongerThanItsLengthIsCut)
{
  start();
  std::string answer = roundTrip(port, "POST /echo HTTP/1.0\r\nHost: h\r\nContent-Length: 2\r\n\r\nabcdef");
  EXPECT_EQ(bodyOf(answer), "POST|/echo||2|ab|h");
}

TEST_F(WebServerTest, BodyShorterThanItsLengthIs400WhenTheClientStops)
{
  start();
  LoopbackClient client(port);
  ASSERT_TRUE(client.send("POST /echo HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc"));
  client.shutdownSend();
  EXPECT_EQ(client.receiveAll(), BAD_REQUEST);
}

TEST_F(WebServerTest, MalformedRequestsGetTheBareBadRequestHead)
{
  start();
  std::string garbage;
  for (int i = 0; i < 3000; ++i)
    garbage += static_cast<char>((i * 97 + 13) % 256);
  const std::string cases[] = {
      "GET\r\n\r\n",
      "GET / HTTP/1.0\r\nHost:nospace\r\n\r\n",
      "GET / HTTP/1.0\r\n\r\x01",
      "POST /echo HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
      "POST /echo HTTP/1.0\r\nContent-Length: 3000000\r\n\r\n",
      garbage,
  };
  for (const std::string& request : cases) {
    DWORD start = GetTickCount();
    EXPECT_EQ(roundTrip(port, request), BAD_REQUEST) << request.substr(0, 40);
    EXPECT_LT(GetTickCount() - start, 3000u) << "answered at once, not after the receive time-out";
  }
}

TEST_F(WebServerTest, OversizedHeadsAreRefusedBeforeTheyAreRead)
{
  start();
  std::string manyHeaders = "GET /echo HTTP/1.0\r\n";
  for (int i = 0; i < 5000; ++i)
    manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  const std::string cases[] = {
      "GET /echo HTTP/1.0\r\nX-Long: " + std::string(1 << 20, 'a') + "\r\n\r\n",
      "GET /" + std::string(1 << 20, 'a') + " HTTP/1.0\r\n\r\n",
      manyHeaders + "\r\n",
  };
  for (const std::string& request : cases) {
    LoopbackClient client(port);
    client.send(request);  // the server may stop reading and close early
    std::string answer = client.receiveAll();
    EXPECT_EQ(answer.substr(0, BAD_REQUEST.size()), BAD_REQUEST);
  }
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, SilentClientGets400AfterTheReceiveTimeout)
{
  start();
  LoopbackClient silent(port);
  DWORD start = GetTickCount();
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK") << "others are served meanwhile";
  EXPECT_EQ(silent.receiveAll(RECEIVE_TIMEOUT_MS + 5000), BAD_REQUEST);
  EXPECT_GE(GetTickCount() - start, static_cast<DWORD>(RECEIVE_TIMEOUT_MS - 500));
}

TEST_F(WebServerTest, ClientsThatVanishDoNotDisturbOthers)
{
  start();
  {
    LoopbackClient closesMidHead(port);
    closesMidHead.send("GET /echo HTTP/1.0\r\nHo");
  }
  {
    LoopbackClient resetsMidBody(port);
    resetsMidBody.send("POST /echo HTTP/1.0\r\nContent-Length: 100\r\n\r\nabc");
    resetsMidBody.abort();
  }
  {
    LoopbackClient connectsOnly(port);
    connectsOnly.abort();
  }
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, ClientClosingDuringTheResponseEndsIt)
{
  start();
  LoopbackClient client(port);
  ASSERT_TRUE(client.send("GET /big HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(client.receiveSome(200000).size(), 200000u);
  client.abort();
  for (int i = 0; i < 100 && !big.done; ++i)
    Sleep(100);
  EXPECT_TRUE(big.done);
  EXPECT_TRUE(big.failed);
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
}

TEST_F(WebServerTest, ClientThatStopsReadingIsDroppedAfterTheSendTimeout)
{
  start();
  LoopbackClient client(port);
  ASSERT_TRUE(client.send("GET /big HTTP/1.0\r\n\r\n"));
  DWORD start = GetTickCount();
  for (int i = 0; i < 300 && !big.done; ++i)
    Sleep(100);
  EXPECT_TRUE(big.done);
  EXPECT_TRUE(big.failed);
  EXPECT_LT(GetTickCount() - start, static_cast<DWORD>(3 * SEND_TIMEOUT_MS));
}

TEST_F(WebServerTest, TwoHundredConcurrentConnections)
{
  start();
  const int COUNT = 200;
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < COUNT; ++i) {
    clients.emplace_back(new LoopbackClient(port));
    ASSERT_TRUE(clients.back()->isConnected()) << i;
  }
  for (int i = 0; i < COUNT; ++i)
    ASSERT_TRUE(clients[i]->send("GET /echo?" + std::to_string(i) + " HTTP/1.0\r\nHost: h\r\n\r\n"));
  for (int i = 0; i < COUNT; ++i) {
    std::string answer = clients[i]->receiveAll();
    EXPECT_EQ(bodyOf(answer), "GET|/echo?" + std::to_string(i) + "|" + std::to_string(i) + "|0||h") << i;
  }
}

TEST_F(WebServerTest, PortSearchSkipsAHeldPort)
{
  startWinsock();
  int wanted = randomHighPort();
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(wanted));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  listen(holder, 1);

  start(new WebServer(wanted));
  EXPECT_GT(port, wanted);
  EXPECT_TRUE(logged("V_WebServer: Bind to port " + std::to_string(wanted) + " failed; trying another one"));
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
  closesocket(holder);
}

// Every port from the start to 65535 is held: the search ends there instead
// of wrapping round, and says that nothing was bound.
TEST_F(WebServerTest, PortSearchStopsAtTheHighestPort)
{
  startWinsock();
  int first = HIGHEST_PORT - randomHighPort() % 50;
  std::vector<SOCKET> holders;
  for (int p = first; p <= HIGHEST_PORT; ++p) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(p));
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(s, 1);
    holders.push_back(s);
  }
  server = new WebServer(first);
  ASSERT_TRUE(server->start());
  EXPECT_EQ(server->waitUntilStarted(), WebServer::NO_PORT);
  EXPECT_TRUE(logged("L_WebServer: Could not bind any port from " + std::to_string(first) + " to 65535"));
  for (SOCKET s : holders)
    closesocket(s);
}

TEST_F(WebServerTest, PortOutOfRangeBindsNothing)
{
  server = new WebServer(70000);
  ASSERT_TRUE(server->start());
  EXPECT_EQ(server->waitUntilStarted(), WebServer::NO_PORT);
}

TEST_F(WebServerTest, ShutdownWaitsForRunningRequestsAndLeaksNoThread)
{
  int before = threadCount();
  start();
  std::vector<std::thread> clients;
  std::vector<std::string> answers(3);
  for (int i = 0; i < 3; ++i)
    clients.emplace_back([this, i, &answers] { answers[i] = get("/slow?1500"); });
  Sleep(500);
  DWORD start = GetTickCount();
  delete server;
  server = nullptr;
  EXPECT_GE(GetTickCount() - start, 700u) << "deleting the server waited for the requests";
  for (std::thread& t : clients)
    t.join();
  for (const std::string& answer : answers)
    EXPECT_EQ(bodyOf(answer), "slept");
  EXPECT_TRUE(logged("D_WebServer: Waiting for active handlers to quit..."));
  EXPECT_TRUE(logged("V_WebServer: Web server shut down."));
  EXPECT_LE(threadCount(), before);
  EXPECT_FALSE(LoopbackClient(port).isConnected()) << "the listening socket is closed";
}

namespace {

// Fails to start every other request thread, as when threads run out.
class FailingStartServer : public WebServer {
public:
  using WebServer::WebServer;
  std::atomic<int> starts{0};

protected:
  bool startRequestThread(RequestThread* thread) override
  {
    return ++starts % 2 == 0 && WebServer::startRequestThread(thread);
  }
};

}

TEST_F(WebServerTest, ThreadThatFailsToStartIsUndone)
{
  start(new FailingStartServer(randomHighPort()));
  EXPECT_EQ(get("/echo"), "") << "the connection is dropped";
  EXPECT_EQ(statusLine(get("/echo")), "HTTP/1.0 200 OK");
  EXPECT_TRUE(logged("L_WebServer: Could not start a thread for a connection; connection dropped."));
  DWORD start = GetTickCount();
  delete server;
  server = nullptr;
  EXPECT_LT(GetTickCount() - start, 5000u) << "shutdown does not wait for the thread that never ran";
}

namespace {

class RecordingAccessLog : public WebServer::AccessLog {
public:
  void writeLine(const char* line) override
  {
    std::lock_guard<std::mutex> lock(logMutex);
    lines.emplace_back(line);
  }
  std::vector<std::string> lines;
};

}

TEST_F(WebServerTest, AccessLogLine)
{
  RecordingAccessLog accessLog;
  start();
  server->setAccessLog(&accessLog);
  std::string answer = roundTrip(port, "GET /echo?q HTTP/1.0\r\nReferer: http://x/\r\n\r\n");
  delete server;  // reaps the thread, writing its line
  server = nullptr;
  ASSERT_EQ(accessLog.lines.size(), 1u);
  const std::string& line = accessLog.lines[0];
  EXPECT_EQ(line.substr(0, 15), "127.0.0.1 - - [");
  std::string tail = "] \"GET /echo?q\" 200 " + std::to_string(answer.size()) + " \"http://x/\"";
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}
