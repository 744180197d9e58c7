#pragma once

// Transport-stream packets as the transcoder writes them, built byte by byte
// for the segmenter's and the stream context's tests.

#include <cstdint>
#include <initializer_list>
#include <string>

const int PACKET_SIZE = 188;
const unsigned VIDEO_PID = 0x100;
const unsigned AUDIO_PID = 0x101;
const unsigned VIDEO_STREAM = 0xE0;
const unsigned AUDIO_STREAM = 0xC0;
const int64_t NO_TIMESTAMP = -1;
const int64_t PTS_WRAP = int64_t(1) << 33;
// What the transcoder's time stamps add to the video's time.
const int TIMESTAMP_DELAY_MS = 1400;

// A 188-byte transport packet: a header, then an optional adaptation field,
// PES header and payload bytes written in order. Bytes that would fall past
// the packet are left out, so hostile lengths can be written too.
class TsPacket {
public:
  explicit TsPacket(unsigned pid, bool payloadStart = false) : _bytes(PACKET_SIZE, '\xFF')
  {
    put({0x47, (payloadStart ? 0x40 : 0) | static_cast<int>((pid >> 8) & 0x1F), static_cast<int>(pid & 0xFF),
         0x10});  // payload only, continuity 0
  }

  TsPacket& adaptation(int length, bool payload = true)
  {
    _bytes[3] = payload ? 0x30 : 0x20;  // continuity 0
    put({length});
    if (length > 0)
      put({0x00});  // no flags; the rest is stuffing
    _cursor = 5 + length;
    return *this;
  }

  TsPacket& pes(unsigned streamId, int64_t pts = NO_TIMESTAMP, int64_t dts = NO_TIMESTAMP)
  {
    bool hasPts = pts != NO_TIMESTAMP;
    bool hasDts = hasPts && dts != NO_TIMESTAMP;
    put({0x00, 0x00, 0x01, static_cast<int>(streamId), 0x00, 0x00, 0x80, (hasPts ? 0x80 : 0) | (hasDts ? 0x40 : 0),
         hasDts ? 10 : hasPts ? 5 : 0});
    if (hasPts)
      timestamp(hasDts ? 3 : 2, pts);
    if (hasDts)
      timestamp(1, dts);
    return *this;
  }

  TsPacket& nal(int header) { return put({0x00, 0x00, 0x00, 0x01, header}); }

  TsPacket& at(int offset)
  {
    _cursor = offset;
    return *this;
  }

  TsPacket& put(std::initializer_list<int> bytes)
  {
    for (int b : bytes) {
      if (_cursor < PACKET_SIZE)
        _bytes[_cursor] = static_cast<char>(b);
      ++_cursor;
    }
    return *this;
  }

  int cursor() const { return _cursor; }
  operator std::string() const { return _bytes; }

private:
  void timestamp(int prefix, int64_t value)
  {
    put({static_cast<int>(prefix << 4 | ((value >> 29) & 0x0E) | 1), static_cast<int>((value >> 22) & 0xFF),
         static_cast<int>(((value >> 14) & 0xFE) | 1), static_cast<int>((value >> 7) & 0xFF),
         static_cast<int>(((value << 1) & 0xFE) | 1)});
  }

  std::string _bytes;
  int _cursor = 0;
};

const int IDR = 0x65;
const int SLICE = 0x41;

// The time stamp the transcoder writes at a moment of the video: delayed,
// and wrapped at 33 bits.
inline int64_t streamPts(int64_t videoMs)
{
  return (videoMs + TIMESTAMP_DELAY_MS) * 90 % PTS_WRAP;
}

inline std::string videoFrame(int64_t pts, int nalHeader = SLICE)
{
  return TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, pts).nal(nalHeader);
}

inline std::string audioFrame(int64_t pts)
{
  return TsPacket(AUDIO_PID, true).pes(AUDIO_STREAM, pts);
}

inline std::string continuation(unsigned pid = VIDEO_PID)
{
  return TsPacket(pid);
}
