#include "DbHandler.h"

#include "CgiRequest.h"
#include "ConfigFile.h"
#include "FileDatabase.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Log.h"
#include "MediaServer.h"
#include "Settings.h"

#include <cstring>
#include <string>

namespace {

const int& LOG_KEY = MAIN_LOG_KEY;

// Settings change only through a form posted from the server's own pages:
// a link or an image on another site must not rewrite them.
bool maySetConfig(HttpRequest* request)
{
  if (strcmp(request->method(), "POST") != 0) {
    LogPrintf(LOG_KEY, "Refused setconfig sent by %s instead of POST.", request->method());
    return false;
  }
  if (!request->comesFromOwnOrigin()) {
    LogPrintf(LOG_KEY, "Refused setconfig from the page of another site (%s).", request->header("origin", ""));
    return false;
  }
  return true;
}

// Replaces the settings by a received value; the reply's status text.
const char* applyConfig(const char* text)
{
  json config;
  try {
    config = json::parse(text);
  } catch (const std::string&) {
    config = json(json::nul);
  }
  if (config.type != json::obj) {
    LogPrintf(LOG_KEY, "Error in json when receiving configuration:");
    LogPrintf(LOG_KEY, "    %s", text);
    return "syntax error";
  }
  LogPrintf(LOG_KEY, "Successfully parsed json config.");
  bool foldersChanged;
  bool saved;
  {
    ScopedLock lock(&theConfig->getMutex());
    json& settings = theConfig->getSettings();
    foldersChanged = !member(config, "folders").equals(member(settings, "folders"));
    if (foldersChanged)
      LogPrintf(LOG_KEY, "Folders have changed.");
    settings = config;
    saved = theConfig->save();
  }
  if (foldersChanged && theMediaServer)
    theMediaServer->startFolderScan();
  // In force until the program ends all the same; the page says they were not kept.
  return saved ? "ok" : "not saved";
}

}

std::string buildFileList()
{
  return "{\"status\":\"ok\",\"files\":[" + theDatabase->listJson() + "]}";
}

void handleDbRequest(HttpRequest* request, HttpResponse* response, void*)
{
  if (strcmp(request->path(), "/db") != 0)
    return;
  CgiRequest* params = request->params();
  std::string reply;
  if (params->getValue("getfiles")) {
    reply = buildFileList();
  } else if (params->getValue("getconfig")) {
    ScopedLock lock(&theConfig->getMutex());
    reply = "{\"status\":\"ok\",\"config\":" + theConfig->getSettings().serialise() + "}";
  } else if (params->getValue("setconfig") && params->getValue("config")) {
    if (!maySetConfig(request)) {
      response->sendError(403);
      return;
    }
    json status;
    status["status"] = json(applyConfig(params->getValue("config")));
    reply = status.serialise();
  } else {
    return;
  }
  response->sendJson(reply.c_str());
}
