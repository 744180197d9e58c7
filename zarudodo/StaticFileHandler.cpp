#include "StaticFileHandler.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Log.h"
#include "MediaServer.h"
#include "Portability.h"
#include "StringUtil.h"

#include <string>

namespace {

const int& LOG_KEY = MAIN_LOG_KEY;

}

void handleStaticFile(HttpRequest* request, HttpResponse* response, void*)
{
  std::wstring file;
  if (request->mapToFile(webRoot, file) && fileExists(file.c_str())) {
    response->sendFile(file.c_str());
    return;
  }
  LogPrintf(LOG_KEY, "Could not find URI %s (mapped to %s)", request->path(), Utf8FromWide(file).get());
}
