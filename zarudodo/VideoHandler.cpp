#include "VideoHandler.h"

#include "CgiRequest.h"
#include "ContextManager.h"
#include "DurationCache.h"
#include "DurationProbe.h"
#include "FileDatabase.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Log.h"
#include "MediaServer.h"
#include "Playlist.h"
#include "Portability.h"
#include "SegmentAddress.h"
#include "Sink.h"
#include "StreamContext.h"
#include "StringUtil.h"
#include "Transcoder.h"

#include <cstring>
#include <string>

namespace {

const int& LOG_KEY = MAIN_LOG_KEY;
// Later than any stream reaches: the end of a segment that runs to the
// video's end.
const int END_OF_VIDEO_MS = (MAX_START_SECONDS + SEGMENT_SECONDS) * 1000;

// Says what the page is: a client that asked for video must not take it
// for video.
void sendErrorPage(HttpResponse* response, int code)
{
  response->setHeader("Content-type", HttpResponse::mimeType(L"html"));
  response->sendError(code);
}

const int VIDEO_FOUND = 200;

// The file of a listed video, or the status that answers for it. One that
// has gone leaves the list at once, so that a refreshed list no longer offers
// it; one that is there but cannot be opened (another program holds it, or
// it is closed to us) stays.
int findVideo(const std::wstring& name, std::wstring& file)
{
  if (!theDatabase->lookup(name, file))
    return 404;
  if (fileExists(file.c_str()))
    return VIDEO_FOUND;
  if (FileStat(file.c_str()).exists)
    return 500;
  theDatabase->remove(name);
  return 404;
}

// The video a segment's address names, as findVideo answers for it; 404
// when the address names no segment.
int findSegmentVideo(HttpRequest* request, const std::string& path, SegmentAddress& segment, std::wstring& file)
{
  if (!parseSegment(path, request->params()->getValue("ss"), segment))
    return 404;
  return findVideo(segment.name, file);
}

DurationCache& durations()
{
  static DurationCache cache;
  return cache;
}

// A client refused a transcoder is told when to ask again.
void sendRefusal(HttpResponse* response)
{
  response->setHeader("Retry-After", ContextManager::RETRY_AFTER_SECONDS);
  sendErrorPage(response, 503);
}

// How finding a video's length went.
enum class Length { KNOWN, UNREADABLE, REFUSED };

// A video is probed once for each version of its file, whatever the probe
// found, and the probe takes a transcoder's place within the limits.
Length lengthOf(const std::string& client, const std::wstring& file, int* milliseconds)
{
  DurationCache::Answer answer = durations().find(file, milliseconds);
  if (answer != DurationCache::UNKNOWN)
    return answer == DurationCache::KNOWN ? Length::KNOWN : Length::UNREADABLE;
  int probe = theContextManager->startProbe(client);
  if (!probe) {
    durations().abandon(file);
    return Length::REFUSED;
  }
  bool probed;
  // Those waiting for this probe's result must not wait for ever.
  try {
    probed = getDuration(TRANSCODER, file, milliseconds);
  } catch (...) {
    theContextManager->endProbe(probe);
    durations().abandon(file);
    throw;
  }
  theContextManager->endProbe(probe);
  if (probed)
    durations().store(file, *milliseconds);
  else
    durations().storeFailure(file);
  return probed ? Length::KNOWN : Length::UNREADABLE;
}

// The video a playlist's address names: "/v/NAME.m3u8".
std::wstring playlistVideo(const std::string& path)
{
  return toWide(path.substr(3, path.size() - 3 - 5));
}

void sendPlaylist(HttpRequest* request, HttpResponse* response, const std::string& host, const std::string& path)
{
  std::wstring name = playlistVideo(path);
  std::wstring file;
  int milliseconds = 0;
  int found = findVideo(name, file);
  if (found != VIDEO_FOUND) {
    sendErrorPage(response, found);
    return;
  }
  Length length = lengthOf(request->remoteAddress(), file, &milliseconds);
  if (length == Length::REFUSED) {
    sendRefusal(response);
    return;
  }
  // The file is there but holds no video the transcoder can read: the web
  // page tells its user so, rather than that the file has gone.
  if (length == Length::UNREADABLE) {
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

  bool closed() const override { return _response->sendFailed(); }

private:
  HttpResponse* _response;  // not owned
};

// Starts the context when the record has none, and streams the segment;
// false when the transcoder did not start.
bool streamFromContext(ContextInfo& info, const SegmentAddress& segment, Sink* out, StreamContext::Result* result)
{
  if (!info.context) {
    LogPrintf(LOG_KEY, "Create new streaming context");
    info.context = new StreamContext();
    if (!info.context->start(info.path, static_cast<unsigned>(segment.start) * 1000))
      return false;
  }
  *result = info.context->stream(out, segment.toEnd ? END_OF_VIDEO_MS : info.context->getTime() + SEGMENT_MS);
  return true;
}

void sendSegment(HttpRequest* request, HttpResponse* response, const std::string& path)
{
  LogPrintf(LOG_KEY, "Handle by video: %s", path.c_str());
  SegmentAddress segment;
  std::wstring file;
  int found = findSegmentVideo(request, path, segment, file);
  if (found != VIDEO_FOUND) {
    sendErrorPage(response, found);
    return;
  }
  int start = segment.start;
  ContextInfo info = theContextManager->acquire(request->remoteAddress(), file, start);
  if (info.refused) {
    sendRefusal(response);
    return;
  }
  if (info.kept.bytes) {
    const std::string& bytes = *info.kept.bytes;
    response->sendBuffer(bytes.data(), static_cast<unsigned>(bytes.size()), HttpResponse::mimeType(L"ts"));
    LogPrintf(LOG_KEY, "Completed stream request from memory at time offset %d ms", start * 1000);
    return;
  }
  SegmentSink out(response);
  StreamContext::Result result = StreamContext::STREAM_FAILED;
  bool started;
  // The request holds the record until it gives it back, whatever happens.
  try {
    started = streamFromContext(info, segment, &out, &result);
  } catch (...) {
    theContextManager->discard(info);
    throw;
  }
  if (!started) {
    LogPrintf(LOG_KEY, "ERROR! Could not start stream context.");
    theContextManager->discard(info);
    sendErrorPage(response, 500);
    return;
  }
  bool delivered = response->headersSent() && !response->sendFailed();
  if (result == StreamContext::SEGMENT_COMPLETE) {
    info.finished.time = info.time;
    info.finished.bytes = info.context->lastSegment();
    info.time += SEGMENT_SECONDS;
  }
  if (result == StreamContext::SEGMENT_COMPLETE && delivered) {
    theContextManager->release(info);
    LogPrintf(LOG_KEY, "Completed stream request at time offset %d ms", start * 1000);
    return;
  }
  // A transcoder that crashed or was killed ended its output too: what it
  // delivered is no end of the video.
  if (result == StreamContext::VIDEO_ENDED && delivered && info.context->transcoderFinished()) {
    // Nothing follows the end: the transcoder and its hold on the file go now.
    LogPrintf(LOG_KEY, "Completed the last stream request at time offset %d ms", start * 1000);
    theContextManager->discard(info);
    return;
  }
  if (response->sendFailed()) {
    // The client went away during the segment: unless it asked for the
    // segment again meanwhile, the paused transcoder would only wait to be
    // replaced.
    LogPrintf(LOG_KEY, "Client left during the stream request at time offset %d ms", start * 1000);
    theContextManager->abandon(info);
    return;
  }
  LogPrintf(LOG_KEY, "ERROR! Could not continue to stream at time offset %d ms", info.context->getTime());
  theContextManager->discard(info);
  // A transcoder that ended without a byte for this segment found nothing
  // to play there (a start past the end, an unreadable file): asking again
  // cannot help. One that fell silent may do better on a retry.
  sendErrorPage(response, result == StreamContext::VIDEO_ENDED ? 404 : 500);
}

// A HEAD request is answered from the database alone: a transcoder started
// for it would stream for nobody and move the client's position on.
void sendVideoHead(HttpRequest* request, HttpResponse* response, const std::string& path)
{
  bool playlist = endsWith(path, ".m3u8");
  SegmentAddress segment;
  std::wstring file;
  int found = playlist ? findVideo(playlistVideo(path), file) : findSegmentVideo(request, path, segment, file);
  if (found != VIDEO_FOUND) {
    response->sendError(found);
    return;
  }
  response->setStatus(200);
  response->setHeader("Content-type", HttpResponse::mimeType(playlist ? L"m3u8" : L"ts"));
  response->sendHeaders();
}

}

void forgetFailedProbes()
{
  durations().forgetFailures();
}

void handleVideoRequest(HttpRequest* request, HttpResponse* response, void*)
{
  std::string host = request->host();
  std::string path = request->path();
  if (!startsWith(path, "/v/"))
    return;
  if (strcmp(request->method(), "HEAD") == 0)
    sendVideoHead(request, response, path);
  else if (endsWith(path, ".m3u8"))
    sendPlaylist(request, response, host, path);
  else
    sendSegment(request, response, path);
}
