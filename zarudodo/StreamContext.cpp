#include "StreamContext.h"

#include "DurationProbe.h"
#include "Log.h"
#include "PipedProgram.h"
#include "Segmenter.h"
#include "Sink.h"
#include "StringUtil.h"
#include "Transcoder.h"

#include <string>
#include <vector>

namespace {

// A transcoder that says nothing for this long has ended or hangs.
const unsigned READ_TIMEOUT_MS = 10000;

// The muxer starts every stream's time stamps twice this delay (in seconds)
// after the video's time; it is pinned here because the cut relies on it.
const char MUX_DELAY[] = "0.7";
const int TIMESTAMP_DELAY_MS = 1400;

// Shrinks the picture to fit 320x240 at its own display shape (pixels made
// square first), bars filling the rest; rotated phone videos arrive here
// already turned upright.
const char FIT_PICTURE[] =
    "scale=w='if(gt(dar,4/3),320,trunc(240*dar/2)*2)':h='if(gt(dar,4/3),trunc(320/dar/2)*2,240)',"
    "pad=320:240:(ow-iw)/2:(oh-ih)/2,setsar=1";

// A keyframe on every 10-second boundary of the video, so that each segment
// ends exactly there.
const char SEGMENT_KEYFRAMES[] = "expr:gte(t,n_forced*10)";

// Audio goes into PES packets of at most this many bytes. The muxer holds
// audio until a packet is full, so with its default (2,930 bytes, 0.35 s of
// audio here) the audio up to a cutting keyframe landed after it, in the
// next segment: a transcoder's first segment was short of audio at its end,
// and hls.js asked for the segment again.
const char AUDIO_PES_BYTES[] = "1000";

// A segment is about 300 KB at the rates asked for below; an output without
// keyframes, whose segment never ends, is not kept.
const size_t MAX_KEPT_BYTES = 2 << 20;

// Passes the segment on and keeps a copy, up to MAX_KEPT_BYTES: a request
// that takes the segment over, or asks for it again, gets the same bytes.
class KeepingSink : public Sink {
public:
  KeepingSink(Sink* out, std::string& kept, bool& keeping) : _out(out), _kept(kept), _keeping(keeping) {}

  void write(char* data, int length) override
  {
    if (_keeping && _kept.size() + length <= MAX_KEPT_BYTES) {
      _kept.append(data, length);
    } else if (_keeping) {
      _keeping = false;
      std::string().swap(_kept);
    }
    _out->write(data, length);
  }

  bool closed() const override { return _out->closed(); }

private:
  Sink* _out;
  std::string& _kept;
  bool& _keeping;
};

// MPEG-TS on standard output: H.264 at 320x240 and MP3 audio, time-stamped
// with the video's own time plus the muxer's delay, whatever the start. The
// output goes in full blocks, not a write after every packet; one encoding
// thread does for this picture size (more cost more than they save); no
// progress lines, which only woke the reader.
std::vector<std::string> streamArguments(const std::string& videoPath, unsigned startMs)
{
  std::string startSeconds = std::to_string(startMs / 1000);
  return {TRANSCODER,
          "-ss", startSeconds,
          "-i", videoPath,
          "-f", "mpegts",
          "-output_ts_offset", startSeconds, "-avoid_negative_ts", "disabled", "-muxdelay", MUX_DELAY,
          "-acodec", "libmp3lame", "-ar", "48000", "-ab", "64k",
          "-vf", FIT_PICTURE, "-vcodec", "libx264", "-b", "192k",
          "-flags", "+loop", "-cmp", "+chroma", "-partitions", "+parti4x4+partp8x8+partb8x8",
          "-subq", "5", "-trellis", "1", "-refs", "1", "-coder", "0", "-me_range", "16",
          "-keyint_min", "25", "-sc_threshold", "40", "-i_qfactor", "0.71",
          "-bt", "200k", "-maxrate", "96k", "-bufsize", "96k",
          "-rc_eq", "blurCplx^(1-qComp)", "-qcomp", "0.6", "-qmin", "10", "-qmax", "51", "-qdiff", "4",
          "-level", "30", "-aspect", "320:240", "-g", "30", "-force_key_frames", SEGMENT_KEYFRAMES,
          "-async", "2", "-flush_packets", "0", "-threads", "1", "-pes_payload_size", AUDIO_PES_BYTES,
          "-nostats", "-"};
}

}

StreamContext::StreamContext() : _program(new PipedProgram), _segmenter(new Segmenter(nullptr)), _currentMs(0) {}

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
  _segmenter->setStartMs(_currentMs + TIMESTAMP_DELAY_MS);
  return true;
}

StreamContext::Result StreamContext::stream(Sink* out, int endMs)
{
  ErrSink err;
  if (!_segment.empty())
    out->write(&_segment[0], static_cast<int>(_segment.size()));
  KeepingSink keeping(out, _segment, _keeping);
  _segmenter->setOutput(&keeping);
  _segmenter->setTargetMs(endMs + TIMESTAMP_DELAY_MS);
  _segmenter->flush();
  bool reading = true;
  // A sink that takes nothing more ends the segment at once: the transcoder
  // would work on for nobody.
  while (reading && !_segmenter->isDone() && !_program->outputEnded() && !out->closed())
    reading = _program->read(_segmenter, &err, READ_TIMEOUT_MS);
  // No read may outlive this call: its sinks are the caller's and ours.
  _program->flush();
  _segmenter->setOutput(nullptr);
  if (_segmenter->isDone()) {
    // Nothing of the stream falls in this time (a picture that pauses, with
    // no sound): the segment is the stream's tables alone.
    if (_keeping && _segment.empty())
      _segmenter->writeTables(&keeping);
    LogPrintf(STREAM_CONTEXT_LOG_KEY, "    streamed to time %d ms", _segmenter->currentTimeMs());
    _currentMs = endMs;
    // A copy of its own size; the working string keeps its room for the next segment.
    _lastSegment = _keeping ? std::make_shared<const std::string>(_segment) : nullptr;
    _segment.clear();
    _keeping = true;
    return SEGMENT_COMPLETE;
  }
  if (_program->outputEnded()) {
    LogPrintf(STREAM_CONTEXT_LOG_KEY, "End of video at time %d ms", _segmenter->currentTimeMs());
    return VIDEO_ENDED;
  }
  if (out->closed()) {
    LogPrintf(STREAM_CONTEXT_LOG_KEY, "Output closed at time %d ms", _segmenter->currentTimeMs());
    return OUTPUT_CLOSED;
  }
  LogPrintf(STREAM_CONTEXT_LOG_KEY, "No more data from encoder at time %d ms", _segmenter->currentTimeMs());
  return STREAM_FAILED;
}

bool StreamContext::transcoderFinished()
{
  return _program->exitedCleanly();
}
