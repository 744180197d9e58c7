#pragma once

#include <memory>
#include <string>

class PipedProgram;
class Segmenter;
class Sink;

// One client's running transcoding of one video: the transcoder writes
// MPEG-TS from a start offset, and each stream call cuts the next segment
// of it into a sink. Between calls the transcoder waits on its full pipe.
class StreamContext {
public:
  // How a stream call ended.
  enum Result {
    SEGMENT_COMPLETE,  // cut at the segment's end; the transcoder goes on
    VIDEO_ENDED,       // the transcoder's output ended: all of it delivered
    OUTPUT_CLOSED,     // the sink took no more: nobody reads the segment
    STREAM_FAILED,     // the transcoder fell silent, or the call was unusable
  };

  StreamContext();
  ~StreamContext();
  StreamContext(const StreamContext&) = delete;
  StreamContext& operator=(const StreamContext&) = delete;

  // Starts the transcoder (Transcoder.h) at startMs of the video.
  bool start(const std::wstring& videoPath, unsigned startMs);
  // Delivers the stream from getTime() up to endMs into out. A segment that
  // an earlier call left unfinished starts with what that call delivered.
  Result stream(Sink* out, int endMs);
  int getTime() const { return _currentMs; }
  // After VIDEO_ENDED: whether the transcoder reached the video's end, rather
  // than crashed or was killed on the way.
  bool transcoderFinished();
  // The last complete segment as it went out; null when it was too large to keep.
  std::shared_ptr<const std::string> lastSegment() const { return _lastSegment; }
  // Whether all of the unfinished segment so far is kept, so that another
  // request can go on with it.
  bool canResume() const { return _keeping; }

private:
  PipedProgram* _program;
  Segmenter* _segmenter;
  int _currentMs;       // video time up to which segments were delivered
  std::string _segment;  // what went out of the segment in production, while _keeping
  bool _keeping = true;
  std::shared_ptr<const std::string> _lastSegment;
};
