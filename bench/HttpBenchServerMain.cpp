// The web server with a static-file handler and a fixed JSON reply, for
// measuring requests per second. Prints "port N" once bound and serves until
// its standard input closes.
// Usage: http-bench-server START-PORT WEB-ROOT
#include "Portability.h"
#include "WebServer.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::wstring webRoot;

const char* const JSON_REPLY =
    "{\"status\":\"ok\",\"files\":[{\"name\":\"Holiday 2019.mp4\",\"duration\":1834},"
    "{\"name\":\"Concert.mkv\",\"duration\":5402}]}";

void jsonHandler(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/db") == 0)
    response->sendJson(JSON_REPLY);
}

void fileHandler(HttpRequest* request, HttpResponse* response, void*)
{
  std::wstring path;
  if (request->mapToFile(webRoot, path) && fileExists(path.c_str()))
    response->sendFile(path.c_str());
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
    fprintf(stderr, "usage: http-bench-server START-PORT WEB-ROOT\n");
    return 2;
  }
  webRoot = argv[2];
  WebServer server(_wtoi(argv[1]));
  server.addHandler(jsonHandler, nullptr);
  server.addHandler(fileHandler, nullptr);
  server.start();
  printf("port %d\n", server.waitUntilStarted());
  fflush(stdout);
  waitForInputToClose();
  return 0;
}
