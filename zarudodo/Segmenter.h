#pragma once

#include "Sink.h"

#include <cstdint>

class BitManipulator;

// Cuts the transcoder's MPEG transport stream into segments that end right
// before the first H.264 keyframe at or past a target time, or, where the
// picture has ended or pauses, before the first sound at or past it.
// Consumed packets go to the output; the packet that opens the next segment
// and everything after it are held back for the next request.
class Segmenter : public Sink {
public:
  static const int PACKET_SIZE = 188;
  // One pipe read: the whole of it goes on to the output in one write.
  static const int MAX_WRITE = 65536;
  static const int BUFFER_SIZE = MAX_WRITE + 192;
  // The transcoder's output opens with its tables (SDT, PAT, PMT).
  static const int MAX_TABLE_PACKETS = 4;

  explicit Segmenter(Sink* output);

  void setOutput(Sink* output) { _output = output; }
  void setTargetMs(int ms);
  // Where the stream's time stamps begin: its first one is read as the time
  // nearest this, each later one as the time nearest the one before.
  void setStartMs(int ms);
  bool isDone() const { return _cutPts >= _targetPts; }
  int currentTimeMs() const;

  void write(char* data, int length) override;
  void flush() override;
  // The stream's tables, the packets before its first time stamp: a segment
  // that nothing of the stream falls in is still a stream.
  void writeTables(Sink* out);

private:
  uint64_t unwrap(uint64_t pts) const;
  void take(const char* data, int length);
  void parsePacket(const unsigned char* packet);
  void readPesHeader(BitManipulator& bits);
  void scanForKeyframe(BitManipulator& bits);

  uint64_t _targetPts;    // end of the current segment, 90 kHz
  Sink* _output;          // not owned; null drops consumed packets
  int _buffered;
  unsigned char _buffer[BUFFER_SIZE];  // starts at a packet boundary
  bool _havePts;
  uint64_t _pts;          // last PTS of any PID, unwrapped
  uint64_t _cutPts;       // PTS of the last keyframe, or of the sound that ended a segment
  uint64_t _videoPts;     // last PTS of the picture; 0 before it comes
  uint64_t _startPts;     // near the first PTS, until there is one
  int _tablesLength;
  unsigned char _tables[MAX_TABLE_PACKETS * PACKET_SIZE];
};
