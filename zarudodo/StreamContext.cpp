#include "StreamContext.h"

#include "Encoder.h"
#include "Log.h"
#include "PipedProgram.h"
#include "Segmenter.h"
#include "Sink.h"
#include "StringUtil.h"

#include <string>
#include <vector>

namespace {

const char TRANSCODER[] = "ffmpeg.exe";
// A transcoder that says nothing for this long has ended or hangs.
const unsigned READ_TIMEOUT_MS = 10000;

// MPEG-TS on standard output: H.264 at 320x240 with a keyframe at least
// every 30 frames, so every 10-second segment holds one, and MP3 audio.
std::vector<std::string> streamArguments(const std::string& videoPath, unsigned startMs)
{
  return {TRANSCODER,
          "-ss", std::to_string(startMs / 1000),
          "-i", videoPath,
          "-f", "mpegts",
          "-acodec", "libmp3lame", "-ar", "48000", "-ab", "64k",
          "-s", "320x240", "-vcodec", "libx264", "-b", "192k",
          "-flags", "+loop", "-cmp", "+chroma", "-partitions", "+parti4x4+partp8x8+partb8x8",
          "-subq", "5", "-trellis", "1", "-refs", "1", "-coder", "0", "-me_range", "16",
          "-keyint_min", "25", "-sc_threshold", "40", "-i_qfactor", "0.71",
          "-bt", "200k", "-maxrate", "96k", "-bufsize", "96k",
          "-rc_eq", "blurCplx^(1-qComp)", "-qcomp", "0.6", "-qmin", "10", "-qmax", "51", "-qdiff", "4",
          "-level", "30", "-aspect", "320:240", "-g", "30", "-async", "2",
          "-"};
}

}

StreamContext::StreamContext()
    : _program(new PipedProgram), _segmenter(new Segmenter(nullptr)), _currentMs(0), _startMs(0)
{
}

StreamContext::~StreamContext()
{
  delete _segmenter;
  delete _program;
}

bool StreamContext::start(const std::wstring& videoPath, unsigned startMs)
{
  if (!_program->start(streamArguments(toUtf8(shortPath(videoPath)), startMs)))
    return false;
  _currentMs = static_cast<int>(startMs);
  _startMs = static_cast<int>(startMs);
  return true;
}

bool StreamContext::stream(Sink* out, int endMs)
{
  ErrSink err;
  _segmenter->setOutput(out);
  _segmenter->setTargetMs(endMs - _startMs);
  if (_segmenter->isDone() && out) {
    // The last segment already ran past this one's end: its time has been
    // delivered, and an empty write still sends the response head, so the
    // client gets an empty segment rather than an error page.
    char none = 0;
    out->write(&none, 0);
  }
  _segmenter->flush();
  bool complete = true;
  while (complete && !_segmenter->isDone())
    complete = _program->read(_segmenter, &err, READ_TIMEOUT_MS);
  // No read may outlive this call: its sinks are the caller's and ours.
  _program->flush();
  _segmenter->setOutput(nullptr);
  if (!complete) {
    LogPrintf(STREAM_CONTEXT_LOG_KEY, "No more data from encoder at time %d ms", _segmenter->currentTimeMs());
    return false;
  }
  LogPrintf(STREAM_CONTEXT_LOG_KEY, "    streamed to time %d ms", _segmenter->currentTimeMs());
  _currentMs = endMs;
  return true;
}
