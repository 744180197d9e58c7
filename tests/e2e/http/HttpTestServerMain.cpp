// A web server for a Linux-side script to drive with real clients: "/echo"
// answers what the server made of the request, anything else is a file under
// WEB-ROOT. Prints "port N" once bound (or "port -1") and serves until its
// standard input closes.
// Usage: http-test-server START-PORT WEB-ROOT
#include "Log.h"
#include "Portability.h"
#include "WebServer.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::wstring webRoot;

void printLogLine(const char* key, const char* text)
{
  fprintf(stderr, "%s: %s\n", key, text);
}

void handler(HttpRequest* request, HttpResponse* response, void*)
{
  std::wstring path;
  if (strcmp(request->path(), "/echo") == 0)
    response->sendText((std::string(request->method()) + "|" + request->query() + "|" +
                        std::to_string(request->contentLength()) + "|" + (request->body() ? request->body() : "") +
                        "|" + request->host())
                           .c_str());
  else if (request->mapToFile(webRoot, path) && fileExists(path.c_str()))
    response->sendFile(path.c_str());
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
  WebServer* server = new WebServer(_wtoi(argv[1]));
  server->addHandler(handler, nullptr);
  server->start();
  printf("port %d\n", server->waitUntilStarted());
  fflush(stdout);
  char buffer[256];
  while (fgets(buffer, sizeof buffer, stdin)) {
  }
  delete server;
  LogSetSink(nullptr);
  return 0;
}
