#pragma once

#include "MediaServer.h"
#include "Playlist.h"
#include "SegmentAddress.h"
#include "Settings.h"
#include "json.h"

#include <string>
#include <vector>

class HttpRequest;
class HttpResponse;

// Later than any stream reaches: the end of a segment that runs to the
// video's end.
const int END_OF_VIDEO_MS = (MAX_START_SECONDS + SEGMENT_SECONDS) * 1000;

// The request handlers, in the order the web server asks them.
void handleVideoRequest(HttpRequest* request, HttpResponse* response, void* userData);
void handleDbRequest(HttpRequest* request, HttpResponse* response, void* userData);
void handleStaticFile(HttpRequest* request, HttpResponse* response, void* userData);

std::string buildFileList();

// The dotted IPv4 text of the local host's first address, or "unknown".
std::string getLocalAddress();
