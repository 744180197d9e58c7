#include "MediaServer.h"

#include "ConfigFile.h"
#include "ContextManager.h"
#include "DbHandler.h"
#include "Debug.h"
#include "FileDatabase.h"
#include "FindTask.h"
#include "Log.h"
#include "Settings.h"
#include "StaticFileHandler.h"
#include "VideoHandler.h"
#include "WebServer.h"

ConfigFile* theConfig = nullptr;
FileDatabase* theDatabase = nullptr;
ContextManager* theContextManager = nullptr;
MediaServer* theMediaServer = nullptr;
std::wstring webRoot = L".";

const int MAIN_LOG_KEY = LogRegisterKey("L_Main", true);

namespace {

const unsigned short DEBUG_SERVER = 0x1002;

}

MediaServer::MediaServer()
    : _config(new ConfigFile()), _database(new FileDatabase()), _findTask(new FindTask(nullptr))
{
  theConfig = _config;
  theDatabase = _database;
  theContextManager = new ContextManager();
  if (!theContextManager->startExpiry())
    LogPrintf(MAIN_LOG_KEY, "Could not start the expiry of idle stream contexts");
  writeDefaultSettings(_config->getSettings());
  _config->load();
  theMediaServer = this;
}

MediaServer::~MediaServer()
{
  delete _webServer;
  delete _findTask;
  delete theContextManager;
  theContextManager = nullptr;
  delete _database;
  theDatabase = nullptr;
  delete _config;
  theConfig = nullptr;
  theMediaServer = nullptr;
}

bool MediaServer::startWebServer()
{
  debugPrint(DEBUG_SERVER, "Starting web server.\n");
  _webServer = new WebServer(portFromSettings(_config->getSettings()));
  // The static files come last: they would take the paths of the others.
  _webServer->addHandler(handleVideoRequest, nullptr);
  _webServer->addHandler(handleDbRequest, nullptr);
  _webServer->addHandler(handleStaticFile, nullptr);
  if (!_webServer->start()) {
    LogPrintf(MAIN_LOG_KEY, "The web server's thread could not start; the server does not run.");
    _port = WebServer::NO_PORT;
    return false;
  }
  _port = _webServer->waitUntilStarted();
  if (_port == WebServer::NO_PORT) {
    LogPrintf(MAIN_LOG_KEY, "No port could be bound; the server does not run.");
    return false;
  }
  startFolderScan();
  return true;
}

void MediaServer::startFolderScan()
{
  json settings;
  {
    ScopedLock lock(&_config->getMutex());
    settings = _config->getSettings();
  }
  FindParams params;
  params.database = _database;
  fillFindParams(settings, params);
  forgetFailedProbes();
  _findTask->start(params);
}
