// A web server with test handlers for a Linux-side script to drive with real
// clients. Prints "port N" once bound (or "port -1"), serves until its
// standard input closes, then stops, waiting for running requests, and prints
// "stopped, threads N before M after".
// Usage: http-test-server START-PORT WEB-ROOT
#include "Log.h"
#include "Portability.h"
#include "WebServer.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring webRoot;

void printLogLine(const char* key, const char* text)
{
  fprintf(stderr, "%s: %s\n", key, text);
}

// "/echo": what the server made of the request.
void echoHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/echo") != 0)
    return;
  std::string text = std::string(request->method()) + "|" + request->query() + "|" +
                     std::to_string(request->contentLength()) + "|" + (request->body() ? request->body() : "") +
                     "|" + request->host();
  response->sendText(text.c_str());
}

// "/slow?MS": answers after a pause.
void slowHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/slow") != 0)
    return;
  Sleep(static_cast<DWORD>(atoi(request->query())));
  response->sendText("slept");
}

// "/big": 64 MiB unless the client goes first; logs how it ended.
void bigHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/big") != 0)
    return;
  std::string block(65536, 'b');
  response->setStatus(200);
  response->setHeader("Content-length", 1024u * 65536u);
  int blocks = 0;
  for (; blocks < 1024 && !response->sendFailed(); ++blocks)
    response->write(block.data(), static_cast<unsigned>(block.size()));
  fprintf(stderr, "big: %s after %d blocks\n", response->sendFailed() ? "client gone" : "complete", blocks);
}

void fileHandler(HttpRequest* request, HttpResponse* response, void*)
{
  std::wstring path;
  if (request->mapToFile(webRoot, path) && fileExists(path.c_str()))
    response->sendFile(path.c_str());
}

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

void waitForInputToClose()
{
  char buffer[256];
  while (fgets(buffer, sizeof buffer, stdin)) {
  }
}

}

int wmain(int argc, wchar_t** argv)
{
  if (argc != 3) {
    fprintf(stderr, "usage: http-test-server START-PORT WEB-ROOT\n");
    return 2;
  }
  webRoot = argv[2];
  LogSetSink(printLogLine);
  LogEnableKey("D_WebServer", false);

  int before = threadCount();
  WebServer* server = new WebServer(_wtoi(argv[1]));
  server->addHandler(echoHandler, nullptr);
  server->addHandler(slowHandler, nullptr);
  server->addHandler(bigHandler, nullptr);
  server->addHandler(fileHandler, nullptr);
  server->start();
  printf("port %d\n", server->waitUntilStarted());
  fflush(stdout);

  waitForInputToClose();
  delete server;
  printf("stopped, threads %d before %d after\n", before, threadCount());
  fflush(stdout);
  LogSetSink(nullptr);
  return 0;
}
