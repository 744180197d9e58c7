#include "Playlist.h"

#include "SegmentAddress.h"
#include "StringUtil.h"
#include "UrlCoding.h"

#include <cstdio>

namespace {

// A last segment shorter than this joins the one before: a player would
// start a transcoder for a few frames, or for none.
const int MIN_TAIL_MS = 500;

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

}

// Every segment is whole but the last, which runs to the video's end; a tail
// shorter than MIN_TAIL_MS joins the segment before it, whose "#EXTINF"
// then stays below 10.5, what HLS rounds to the target duration.
std::string buildPlaylist(std::string host, std::wstring videoName, int durationMs)
{
  std::string address = "http://" + host + "/v/" + urlEncode(toUtf8(videoName)) + "/";
  std::string text = "#EXTM3U\r\n#EXT-X-VERSION:3\r\n#EXT-X-ALLOW-CACHE:NO\r\n#EXT-X-MEDIA-SEQUENCE:0\r\n"
                     "#EXT-X-TARGETDURATION:10\r\n";
  for (int start = 0; start < durationMs;) {
    bool last = durationMs - start < SEGMENT_MS + MIN_TAIL_MS;
    int end = last ? durationMs : start + SEGMENT_MS;
    text += "#EXTINF:" + segmentLength(end - start) + ",\r\n";
    text += address + std::to_string(start / 1000) + (last ? LAST_SEGMENT_SUFFIX : SEGMENT_SUFFIX) + "\r\n";
    start = end;
  }
  return text + "#EXT-X-ENDLIST\r\n";
}
