#include "main.h"

#include "CgiRequest.h"
#include "ConfigFile.h"
#include "ContextManager.h"
#include "Debug.h"
#include "Encoder.h"
#include "FileDatabase.h"
#include "FindTask.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Log.h"
#include "Portability.h"
#include "Sink.h"
#include "Socket.h"
#include "StreamContext.h"
#include "StringUtil.h"
#include "WebServer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

ConfigFile* theConfig = nullptr;
FileDatabase* theDatabase = nullptr;
ContextManager* theContextManager = nullptr;
MediaServer* theMediaServer = nullptr;
std::wstring webRoot = L".";

namespace {

const int LOG_KEY = LogRegisterKey("L_Main", true);
const unsigned short DEBUG_SERVER = 0x1002;
const char TRANSCODER[] = "ffmpeg.exe";
const int SEGMENT_MS = SEGMENT_SECONDS * 1000;

// A copy of a member, null when the object lacks it (or is no object), so
// that reading never adds the key.
json member(json& object, const char* key)
{
  if (object.type != json::obj || !object.has(key))
    return json(json::nul);
  return object[key];
}

// The string elements of an array member, as UTF-16; other elements are skipped.
std::vector<std::wstring> wideStrings(json& object, const char* key)
{
  std::vector<std::wstring> out;
  json list = member(object, key);
  if (list.type != json::arr)
    return out;
  for (int i = 0; i < list.size(); ++i) {
    if (list[i].isString())
      out.push_back(toWide(list[i].getString()));
  }
  return out;
}

// A segment's length in seconds as "#EXTINF" gives it: whole seconds bare,
// others to the hundredth.
std::string segmentLength(int milliseconds)
{
  char text[32];
  if (milliseconds % 1000 == 0)
    snprintf(text, sizeof text, "%d", milliseconds / 1000);
  else
    snprintf(text, sizeof text, "%d.%02d", milliseconds / 1000, milliseconds % 1000 / 10);
  return text;
}

// Says what the page is: a client that asked for video must not take it
// for video.
void sendErrorPage(HttpResponse* response, int code)
{
  response->setHeader("Content-type", HttpResponse::mimeType(L"html"));
  response->sendError(code);
}

void sendPlaylist(HttpResponse* response, const std::string& host, const std::string& path)
{
  std::wstring name = toWide(path.substr(3, path.size() - 3 - 5));
  std::wstring file;
  int milliseconds = 0;
  if (!theDatabase->lookup(name, file) || !fileExists(file.c_str())) {
    sendErrorPage(response, 404);
    return;
  }
  // The file is there but holds no video the transcoder can read: the web
  // page tells its user so, rather than that the file has gone.
  if (!getDuration(TRANSCODER, file, &milliseconds)) {
    sendErrorPage(response, 500);
    return;
  }
  std::string playlist = buildPlaylist(host, name, milliseconds);
  response->sendBuffer(playlist.data(), static_cast<unsigned>(playlist.size()), HttpResponse::mimeType(L"m3u8"));
}

// The segment's head goes out with its first bytes, not before: a request
// whose transcoder produces nothing can then still answer with an error.
class SegmentSink : public Sink {
public:
  explicit SegmentSink(HttpResponse* response) : _response(response) {}

  void write(char* data, int length) override
  {
    if (length <= 0)
      return;
    if (!_response->headersSent()) {
      _response->setStatus(200);
      _response->setHeader("Content-type", HttpResponse::mimeType(L"ts"));
    }
    _response->write(data, static_cast<unsigned>(length));
  }

private:
  HttpResponse* _response;  // not owned
};

void sendSegment(HttpRequest* request, HttpResponse* response, std::string path)
{
  LogPrintf(LOG_KEY, "Handle by video: %s", path.c_str());
  int start = parseStartSeconds(request->params()->getValue("ss"));
  path = path.substr(0, path.find('?'));
  std::wstring file;
  if (!theDatabase->lookup(toWide(path.substr(3)), file)) {
    sendErrorPage(response, 404);
    return;
  }

  ContextInfo info = theContextManager->acquire(request->remoteAddress(), file, start);
  if (!info.context) {
    LogPrintf(LOG_KEY, "Create new streaming context");
    info.context = new StreamContext();
    if (!info.context->start(file, static_cast<unsigned>(start) * 1000)) {
      LogPrintf(LOG_KEY, "ERROR! Could not start stream context.");
      theContextManager->discard(info);
      sendErrorPage(response, 500);
      return;
    }
  }
  SegmentSink out(response);
  StreamContext::Result result = info.context->stream(&out, info.context->getTime() + SEGMENT_MS);
  bool delivered = response->headersSent() && !response->sendFailed();
  if (result == StreamContext::SEGMENT_COMPLETE && delivered) {
    info.time += SEGMENT_SECONDS;
    theContextManager->release(info);
    LogPrintf(LOG_KEY, "Completed stream request at time offset %d ms", start * 1000);
    return;
  }
  if (result == StreamContext::VIDEO_ENDED && delivered) {
    // Nothing follows the end: the transcoder and its hold on the file go now.
    LogPrintf(LOG_KEY, "Completed the last stream request at time offset %d ms", start * 1000);
    theContextManager->discard(info);
    return;
  }
  if (response->sendFailed()) {
    // The client went away during the segment: its player has not got this
    // position, so the paused transcoder would only wait to be replaced.
    LogPrintf(LOG_KEY, "Client left during the stream request at time offset %d ms", start * 1000);
  } else {
    LogPrintf(LOG_KEY, "ERROR! Could not continue to stream at time offset %d ms", info.context->getTime());
  }
  theContextManager->discard(info);
  // A transcoder that ended without a byte for this segment found nothing
  // to play there (a start past the end, an unreadable file): asking again
  // cannot help. One that fell silent may do better on a retry.
  sendErrorPage(response, result == StreamContext::VIDEO_ENDED ? 404 : 500);
}

// A HEAD request is answered from the database alone: a transcoder started
// for it would stream for nobody and move the client's position on.
void sendVideoHead(HttpResponse* response, std::string path)
{
  bool playlist = endsWith(path, ".m3u8");
  std::wstring file;
  if (!theDatabase->lookup(toWide(path.substr(3, path.size() - 3 - (playlist ? 5 : 0))), file)) {
    response->sendError(404);
    return;
  }
  response->setStatus(200);
  response->setHeader("Content-type", HttpResponse::mimeType(playlist ? L"m3u8" : L"ts"));
  response->sendHeaders();
}

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

MediaServer::MediaServer()
    : _config(new ConfigFile()), _database(new FileDatabase()), _findTask(new FindTask(nullptr))
{
  theConfig = _config;
  theDatabase = _database;
  theContextManager = new ContextManager();
  if (!theContextManager->startExpiry())
    LogPrintf(LOG_KEY, "Could not start the expiry of idle stream contexts");
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
  _webServer->addHandler(handleVideoRequest, nullptr);
  _webServer->addHandler(handleDbRequest, nullptr);
  _webServer->addHandler(handleStaticFile, nullptr);
  _webServer->start();
  _port = _webServer->waitUntilStarted();
  if (_port == WebServer::NO_PORT) {
    LogPrintf(LOG_KEY, "No port could be bound; the server does not run.");
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
  _findTask->start(params);
}

void writeDefaultSettings(json& settings)
{
  settings = json();
  settings["port"] = json(DEFAULT_PORT);
  json extensions(json::arr);
  for (const char* extension : {"avi", "m4v", "mp4", "divx", "ts"})
    extensions.push_back(json(extension));
  settings["extensions"] = extensions;
  settings["share"] = json(false);
  json folders(json::arr);
  std::wstring folder;
  if (getSpecialFolder(FOLDER_PROFILE, folder)) {
    folders.push_back(json(toUtf8(folder)));
  } else {
    for (int kind : {FOLDER_DESKTOP, FOLDER_DOCUMENTS}) {
      if (getSpecialFolder(kind, folder))
        folders.push_back(json(toUtf8(folder)));
    }
  }
  settings["folders"] = folders;
}

int portFromSettings(json& settings)
{
  json port = member(settings, "port");
  if (!port.isNumber() || !(port.getNumber() >= 1 && port.getNumber() < 65536))
    return DEFAULT_PORT;
  return static_cast<int>(port.getNumber());
}

void fillFindParams(json& settings, FindParams& params)
{
  for (const std::wstring& extension : wideStrings(settings, "extensions"))
    params.patterns.push_back(L"." + extension);
  params.folders = wideStrings(settings, "folders");
}

int parseStartSeconds(const char* text)
{
  if (!text)
    return 0;
  while (isspace(static_cast<unsigned char>(*text)))
    ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+')
    ++text;
  int seconds = 0;
  for (; isdigit(static_cast<unsigned char>(*text)); ++text) {
    seconds = seconds * 10 + (*text - '0');
    if (seconds > MAX_START_SECONDS)
      return negative ? 0 : MAX_START_SECONDS;
  }
  return negative ? 0 : seconds;
}

// Every segment but the last is whole; the last runs to the video's end,
// however short that leaves it.
std::string buildPlaylist(std::string host, std::wstring videoName, int durationMs)
{
  std::string address = "http://" + host + "/v/" + HttpResponse::urlEncode(toUtf8(videoName)) + "?ss=";
  std::string text = "#EXTM3U\r\n#EXT-X-VERSION:3\r\n#EXT-X-ALLOW-CACHE:NO\r\n#EXT-X-MEDIA-SEQUENCE:0\r\n"
                     "#EXT-X-TARGETDURATION:10\r\n";
  for (int start = 0; start < durationMs; start += SEGMENT_MS) {
    text += "#EXTINF:" + segmentLength(std::min(SEGMENT_MS, durationMs - start)) + ",\r\n";
    text += address + std::to_string(start / 1000) + "\r\n";
  }
  return text + "#EXT-X-ENDLIST\r\n";
}

std::string buildFileList()
{
  return "{\"status\":\"ok\",\"files\":[" + theDatabase->listJson() + "]}";
}

void handleVideoRequest(HttpRequest* request, HttpResponse* response, void*)
{
  std::string host = request->host();
  std::string path = request->path();
  if (!startsWith(path, "/v/"))
    return;
  if (strcmp(request->method(), "HEAD") == 0)
    sendVideoHead(response, path);
  else if (endsWith(path, ".m3u8"))
    sendPlaylist(response, host, path);
  else
    sendSegment(request, response, path);
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

void handleStaticFile(HttpRequest* request, HttpResponse* response, void*)
{
  std::wstring file;
  if (request->mapToFile(webRoot, file) && fileExists(file.c_str())) {
    response->sendFile(file.c_str());
    return;
  }
  LogPrintf(LOG_KEY, "Could not find URI %s (mapped to %s)", request->path(), Utf8FromWide(file).get());
}

std::string getLocalAddress()
{
  // The first socket starts Winsock, which the host-name calls need.
  Socket socket(false);
  char name[80];
  if (gethostname(name, sizeof name) != 0) {
    LogPrintf(LOG_KEY, "Error %d when getting local host name.", WSAGetLastError());
    return "unknown";
  }
  LogPrintf(LOG_KEY, "Host name is %s", name);
  hostent* host = gethostbyname(name);
  if (!host) {
    LogPrintf(LOG_KEY, "Bad host lookup. ");
    return "unknown";
  }
  if (!host->h_addr_list || !host->h_addr_list[0])
    return "unknown";
  in_addr address;
  memcpy(&address, host->h_addr_list[0], sizeof address);
  return inet_ntoa(address);
}
