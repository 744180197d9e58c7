#pragma once

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

  // Starts "ffmpeg.exe" from the working directory at startMs of the video.
  bool start(const std::wstring& videoPath, unsigned startMs);
  // Delivers the stream from getTime() up to endMs into out.
  Result stream(Sink* out, int endMs);
  int getTime() const { return _currentMs; }

private:
  PipedProgram* _program;
  Segmenter* _segmenter;
  int _currentMs;  // video time up to which segments were delivered
};
