#include "Segmenter.h"

#include "BitManipulator.h"
#include "Log.h"

#include <algorithm>
#include <cstring>

namespace {

const int LOG_KEY = LogRegisterKey("L_Segmenter", true);

const uint32_t PTS_UNITS_PER_MS = 90;
const uint64_t PTS_WRAP = uint64_t(1) << 33;
const unsigned FIRST_PES_PID = 0x000F;
const unsigned NULL_PID = 0x1FFF;
const uint32_t PES_START_CODE_PREFIX = 0x000001;
const unsigned VIDEO_STREAM_ID = 0xE0;  // 0xE0 to 0xEF
const unsigned STREAM_ID_CLASS_MASK = 0xF0;
// 00 00 01 and a NAL unit type of 5 (IDR slice), whatever nal_ref_idc says.
const uint32_t IDR_START_CODE = 0x00000105;
const uint32_t IDR_START_CODE_MASK = 0xFFFFFF0F;

const int PES_FIXED_BITS = 24 + 8 + 16;  // prefix, stream_id, PES_packet_length
const int PES_FLAG_BITS = 8 + 2 + 14;    // up to PES_header_data_length
const int TIMESTAMP_BITS = 40;
// Sound ends a segment only where the picture lags this far behind it: while
// the picture goes on, its keyframe at the target comes before the sound
// that reaches it.
const uint64_t PICTURE_LAG_PTS = 90000;

uint64_t toPts(int ms)
{
  return static_cast<uint64_t>(ms < 0 ? 0 : ms) * PTS_UNITS_PER_MS;
}

// A PTS or DTS field: 4 bits of marker, then 33 bits in three pieces, each
// followed by a marker bit.
uint64_t readTimestamp(BitManipulator& bits)
{
  bits.skip(4);
  uint64_t value = bits.read(3);
  bits.skip(1);
  value = (value << 15) | bits.read(15);
  bits.skip(1);
  value = (value << 15) | bits.read(15);
  bits.skip(1);
  return value;
}

}

Segmenter::Segmenter(Sink* output)
    : _targetPts(0), _output(output), _buffered(0), _buffer(), _havePts(false), _pts(0), _cutPts(0),
      _videoPts(0), _startPts(0), _tablesLength(0), _tables()
{
  LogPrintf(LOG_KEY, "Segmenter created");
}

// 64 bits: in 32, the target wraps after 13 h 15 min.
void Segmenter::setTargetMs(int ms)
{
  _targetPts = toPts(ms);
}

void Segmenter::setStartMs(int ms)
{
  _startPts = toPts(ms);
}

// A PTS wraps after 33 bits (26 h 31 min): of the times it may stand for,
// the one nearest the last one is meant, since the streams' time stamps
// move on together. The target is no guide: the last segment's lies far
// past any video.
uint64_t Segmenter::unwrap(uint64_t pts) const
{
  uint64_t near = _havePts ? _pts : _startPts;
  uint64_t time = near - near % PTS_WRAP + pts;
  if (time > near + PTS_WRAP / 2 && time >= PTS_WRAP)
    return time - PTS_WRAP;
  if (time + PTS_WRAP / 2 < near)
    return time + PTS_WRAP;
  return time;
}

int Segmenter::currentTimeMs() const
{
  return static_cast<int>(static_cast<uint32_t>(_pts / PTS_UNITS_PER_MS));
}

void Segmenter::write(char* data, int length)
{
  if (length < 0 || (length > 0 && !data)) {
    LogPrintf(LOG_KEY, "Segmenter: bad write of %d bytes ignored", length);
    return;
  }
  // A longer write than the buffer takes is taken in parts; what cannot be
  // held while the segment is complete is dropped rather than overrun it.
  for (;;) {
    int part = std::min(length, BUFFER_SIZE - _buffered);
    take(data, part);
    data += part;
    length -= part;
    flush();
    if (length == 0)
      return;
    if (_buffered == BUFFER_SIZE) {
      LogPrintf(LOG_KEY, "Segmenter buffer full: %d bytes dropped", length);
      return;
    }
  }
}

void Segmenter::take(const char* data, int length)
{
  if (length > 0)
    memcpy(_buffer + _buffered, data, length);
  _buffered += length;
}

void Segmenter::flush()
{
  if (isDone())
    return;
  int offset = 0;
  while (_buffered - offset >= PACKET_SIZE) {
    parsePacket(_buffer + offset);
    if (!_havePts && _tablesLength < static_cast<int>(sizeof _tables)) {
      memcpy(_tables + _tablesLength, _buffer + offset, PACKET_SIZE);
      _tablesLength += PACKET_SIZE;
    }
    // The packet that starts the closing keyframe opens the next segment.
    if (isDone())
      break;
    offset += PACKET_SIZE;
  }
  // Nothing is written until there is something: an HTTP response sends its
  // head with its first bytes, and a segment that never gets any must still
  // be able to answer with an error.
  if (_output && offset > 0)
    _output->write(reinterpret_cast<char*>(_buffer), offset);
  _buffered -= offset;
  memmove(_buffer, _buffer + offset, _buffered);
}

void Segmenter::writeTables(Sink* out)
{
  if (_tablesLength > 0)
    out->write(reinterpret_cast<char*>(_tables), _tablesLength);
}

void Segmenter::parsePacket(const unsigned char* packet)
{
  BitManipulator bits(packet, PACKET_SIZE, false);
  bits.skip(8 + 1);  // sync byte, transport_error_indicator
  bool payloadStart = bits.read(1);
  bits.skip(1);  // transport_priority
  unsigned pid = bits.read(13);
  bits.skip(2);  // transport_scrambling_control
  unsigned adaptationFieldControl = bits.read(2);
  bits.skip(4);  // continuity_counter

  if (adaptationFieldControl & 2) {
    int fieldBits = 8 * bits.read(8);
    // Fields that run past the packet: it is passed on unparsed.
    if (fieldBits > bits.remaining())
      return;
    bits.skip(fieldBits);
  }
  bool hasPayload = adaptationFieldControl & 1;
  if (hasPayload && payloadStart && pid >= FIRST_PES_PID && pid != NULL_PID)
    readPesHeader(bits);
}

// Any field of the header that would run past the packet leaves the packet
// unparsed: it then sets no PTS and starts no keyframe.
void Segmenter::readPesHeader(BitManipulator& bits)
{
  if (bits.remaining() < PES_FIXED_BITS)
    return;
  uint32_t prefix = bits.read(24);
  unsigned streamId = bits.read(8);
  bits.skip(16);
  // Without the prefix the payload is no PES (a table section, for one), and
  // its bytes say nothing about a keyframe.
  if (prefix != PES_START_CODE_PREFIX || bits.remaining() < PES_FLAG_BITS)
    return;
  bits.skip(8);
  unsigned ptsDtsFlags = bits.read(2);
  bits.skip(14);

  bool video = (streamId & STREAM_ID_CLASS_MASK) == VIDEO_STREAM_ID;
  if (ptsDtsFlags & 2) {
    bool hasDts = ptsDtsFlags == 3;
    if (bits.remaining() < (hasDts ? 2 : 1) * TIMESTAMP_BITS)
      return;
    _pts = unwrap(readTimestamp(bits));
    _havePts = true;
    if (hasDts)
      bits.skip(TIMESTAMP_BITS);
    if (video) {
      _videoPts = _pts;
    } else if (_pts >= _targetPts && _videoPts + PICTURE_LAG_PTS < _pts) {
      // A picture that ended before the sound, pauses (a still screen
      // recording) or never came brings no keyframe to the target.
      _cutPts = _pts;
    }
  }
  if (video)
    scanForKeyframe(bits);
}

// Only the first packet of a video PES is searched, so a keyframe counts
// when its IDR start code lies there (the transcoder puts it there).
void Segmenter::scanForKeyframe(BitManipulator& bits)
{
  while (bits.remaining() >= 32) {
    uint32_t next = bits.peek(32);
    if ((next & IDR_START_CODE_MASK) == IDR_START_CODE) {
      if (_havePts)
        _cutPts = _pts;
      return;
    }
    // 00 00 01 starting one or two bytes on needs the third byte to be 0;
    // skipping when it is not makes the search about three times faster.
    bits.skip((next & 0xFF00) ? 24 : 8);
  }
}
