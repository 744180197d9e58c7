#pragma once

#include <string>

const int SEGMENT_SECONDS = 10;
// Far beyond any video, and small enough that every millisecond time
// derived from a start stays inside an int.
const int MAX_START_SECONDS = 1000000;
const int SEGMENT_MS = SEGMENT_SECONDS * 1000;

// Segment addresses end like transport-stream files, since HLS readers check
// that: "/v/NAME/START.ts", and "/v/NAME/START-end.ts" for the last one,
// which runs to the video's end.
const char SEGMENT_SUFFIX[] = ".ts";
const char LAST_SEGMENT_SUFFIX[] = "-end.ts";

// A segment as its address names it: "/v/NAME/START.ts" or
// "/v/NAME/START-end.ts"; "/v/NAME?ss=START" from playlists stored before
// those, whose segments are all 10 s.
struct SegmentAddress {
  std::wstring name;
  int start = 0;
  bool toEnd = false;  // runs to the video's end
};

// What a segment's address asks for, from the request's path, decoded after
// its query was split off: a '?' in it is the video name's own. False when
// it names no segment.
bool parseSegment(const std::string& path, const char* ss, SegmentAddress& segment);
// A segment start from the client: atoi's syntax, negative as 0, clamped
// to MAX_START_SECONDS; null as 0.
int parseStartSeconds(const char* text);
