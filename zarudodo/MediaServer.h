#pragma once

#include <string>

class ConfigFile;
class ContextManager;
class FileDatabase;
class FindTask;
class WebServer;

// The top of the media server: owns the settings, the video database, the
// folder scan and the web server, and creates the stream-context manager.
class MediaServer {
public:
  MediaServer();
  ~MediaServer();
  MediaServer(const MediaServer&) = delete;
  MediaServer& operator=(const MediaServer&) = delete;

  // Returns once a port is bound; false when none could be, or when the
  // server's thread could not start.
  bool startWebServer();
  int getPort() const { return _port; }
  // Ends a running scan and starts one over the configured folders.
  void startFolderScan();

private:
  ConfigFile* _config;
  FileDatabase* _database;
  FindTask* _findTask;
  WebServer* _webServer = nullptr;
  int _port = 0;
};

// What the request handlers reach the server's parts through; set by the
// MediaServer while it exists.
extern ConfigFile* theConfig;
extern FileDatabase* theDatabase;
extern ContextManager* theContextManager;
extern MediaServer* theMediaServer;
// The folder static files are served from: the working directory.
extern std::wstring webRoot;

// The media server's log channel, "L_Main"; its request handlers log under it.
extern const int MAIN_LOG_KEY;
