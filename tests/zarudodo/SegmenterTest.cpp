#include "Segmenter.h"

#include "SegmentAddress.h"
#include "TsPackets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const int64_t HOUR_MS = 3600000;

struct CollectingSink : Sink {
  void write(char* data, int length) override
  {
    _data.append(data, length);
    ++_writes;
  }
  std::string _data;
  int _writes = 0;
};

const int64_t TEN_SECONDS = 900000;

TsPacket adapted(int length)
{
  return TsPacket(VIDEO_PID, true).adaptation(length);
}

void write(Segmenter& segmenter, std::string data, size_t piece = Segmenter::MAX_WRITE)
{
  for (size_t at = 0; at < data.size(); at += piece)
    segmenter.write(&data[at], static_cast<int>(std::min(piece, data.size() - at)));
}

// Whether the packet ends a segment that a stream context has just asked to
// reach 10 s.
bool endsSegment(const std::string& packet)
{
  Segmenter segmenter(nullptr);
  segmenter.setTargetMs(10000);
  write(segmenter, packet);
  return segmenter.isDone();
}

}

TEST(SegmenterTest, WritesPassWholePacketsAndHoldTheRest)
{
  CollectingSink out, next;
  Segmenter segmenter(&out);
  segmenter.setTargetMs(10000);
  std::string packet = continuation();
  segmenter.write(&packet[0], 100);
  EXPECT_EQ(out._writes, 0) << "no whole packet, no write: an HTTP response would send its head";
  segmenter.write(&packet[100], 88);
  EXPECT_EQ(out._data, packet);
  segmenter.write(nullptr, 10);
  segmenter.write(nullptr, -1);
  EXPECT_EQ(out._writes, 1) << "bad writes pass nothing on";

  std::string stream;
  for (int i = 0; stream.size() < 2 * Segmenter::BUFFER_SIZE; ++i)
    stream += continuation(i % 2 ? AUDIO_PID : VIDEO_PID);
  out._data.clear();
  const int MAX = Segmenter::MAX_WRITE;
  segmenter.write(&stream[0], MAX);
  EXPECT_EQ(out._data, stream.substr(0, MAX - MAX % PACKET_SIZE));
  segmenter.write(&stream[MAX], static_cast<int>(stream.size()) - MAX);  // over the buffer: taken in parts
  EXPECT_EQ(out._data, stream);

  // Done and handed more than it can hold: it keeps what fits.
  std::string cut = videoFrame(TEN_SECONDS, IDR) + stream;
  segmenter.write(&cut[0], static_cast<int>(cut.size()));
  EXPECT_TRUE(segmenter.isDone());
  segmenter.setOutput(&next);
  segmenter.setTargetMs(20000);
  segmenter.flush();
  EXPECT_EQ(next._data, cut.substr(0, Segmenter::BUFFER_SIZE - Segmenter::BUFFER_SIZE % PACKET_SIZE));
}

TEST(SegmenterTest, CutsBeforeTheFirstKeyframeAtTheTargetAndCarriesItOver)
{
  // Longer than the buffer, so that pieces of every size meet the cut.
  std::string first = TsPacket(0, true);
  while (first.size() <= Segmenter::BUFFER_SIZE)
    first += continuation(AUDIO_PID);
  for (std::string packet : {videoFrame(126000, IDR), continuation(), videoFrame(TEN_SECONDS - 1, IDR),
                             audioFrame(TEN_SECONDS + 500), videoFrame(TEN_SECONDS + 3600), continuation(AUDIO_PID)})
    first += packet;
  std::string second = videoFrame(TEN_SECONDS, IDR) + continuation() + videoFrame(2 * TEN_SECONDS - 3600, IDR);
  std::string third = videoFrame(2 * TEN_SECONDS + 3600, IDR) + continuation() + audioFrame(2 * TEN_SECONDS);
  std::string all = first + second + third;

  for (size_t piece : {size_t(100), size_t(PACKET_SIZE), size_t(300), size_t(Segmenter::MAX_WRITE), all.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    CollectingSink out[3];
    Segmenter segmenter(&out[0]);
    segmenter.setTargetMs(10000);
    write(segmenter, all, piece);
    EXPECT_TRUE(segmenter.isDone());
    EXPECT_EQ(out[0]._data, first);
    std::string more = continuation();
    segmenter.write(&more[0], PACKET_SIZE);

    for (int n = 1; n < 3; ++n) {
      segmenter.setOutput(&out[n]);
      segmenter.setTargetMs(10000 * (n + 1));
      segmenter.flush();
    }
    EXPECT_EQ(out[1]._data, second);
    EXPECT_EQ(out[2]._data, third + more);
  }
}

TEST(SegmenterTest, WhichPacketsOpenTheNextSegment)
{
  struct Case {
    std::string what;
    std::string packet;
    bool cuts;
  };
  const int64_t T = TEN_SECONDS;
  auto video = [](int64_t pts, int64_t dts = NO_TIMESTAMP) { return TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, pts, dts); };
  auto onPid = [](unsigned pid) { return TsPacket(pid, true).pes(VIDEO_STREAM, TEN_SECONDS).nal(IDR); };
  TsPacket section = TsPacket(0x1000, true);
  section.put({0x00, 0x02, 0xB0, 0xE0, 0x00, 0x01, 0x80, 0x80, 0x05, 0x21, 0x00, 0x37, 0x77, 0x41}).nal(IDR);
  std::vector<Case> cases = {
      {"PTS at the target, DTS before", video(T, T - 7200).nal(IDR), true},
      {"start code in a continuation packet", TsPacket(VIDEO_PID).nal(IDR), false},
      {"audio beside the picture holding an IDR start code",
       videoFrame(T - 3600) + std::string(TsPacket(AUDIO_PID, true).pes(AUDIO_STREAM, T).nal(IDR)), false},
      {"another video stream id", TsPacket(VIDEO_PID, true).pes(0xEF, T).nal(IDR), true},
      {"start code cut by the packet's end", video(T).at(PACKET_SIZE - 3).put({0, 0, 1, 0x25}), false},
      {"after an empty adaptation field", adapted(0).pes(VIDEO_STREAM, T).nal(IDR), true},
      {"adaptation field without payload", TsPacket(VIDEO_PID, true).adaptation(0, false).pes(VIDEO_STREAM, T).nal(IDR), false},
      {"reserved PID", onPid(0x000E), false},
      {"null packet", onPid(0x1FFF), false},
      {"first ordinary PID", onPid(0x000F), true},
      {"section whose fourth byte looks like a stream id", section, false},
  };
  for (int header : {0x05, 0x15, 0x25, 0x45, 0x65})  // low four bits 5, any nal_ref_idc
    cases.push_back({"NAL header " + std::to_string(header), videoFrame(TEN_SECONDS, header), true});
  for (int header : {0x01, 0x21, 0x41, 0x61, 0x06, 0x67, 0x68, 0x09})
    cases.push_back({"NAL header " + std::to_string(header), videoFrame(TEN_SECONDS, header), false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(endsSegment(c.packet), c.cuts);
  }

  const int nearMisses[] = {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02};
  TsPacket background = video(TEN_SECONDS);
  const int payload = background.cursor();
  for (int at = payload; at < PACKET_SIZE; ++at)
    background.put({nearMisses[at % 10]});
  EXPECT_FALSE(endsSegment(background));
  for (int at = payload; at <= PACKET_SIZE - 4; ++at)
    EXPECT_TRUE(endsSegment(TsPacket(background).at(at).put({0x00, 0x00, 0x01, 0x45}))) << "start code at " << at;
}

TEST(SegmenterTest, TimeStamps)
{
  Segmenter top(nullptr);
  top.setTargetMs(10000);
  write(top, videoFrame(0x1FFFFFFFFLL));
  EXPECT_EQ(top.currentTimeMs(), static_cast<int>(0x1FFFFFFFFLL / 90)) << "33 bits, the top one kept";
  EXPECT_TRUE(endsSegment(videoFrame(TEN_SECONDS - 3600) + audioFrame(TEN_SECONDS) +
                          std::string(TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM).nal(IDR))))
      << "a video PES without PTS takes the last PTS of any stream";

  // Headers whose lengths point past the packet: the packet goes out as it
  // is, and sets no time stamp and no keyframe.
  CollectingSink out;
  Segmenter segmenter(&out);
  segmenter.setTargetMs(10000);
  std::string stream = audioFrame(4500);
  stream += adapted(184);
  for (int length : {183, 178, 176})
    stream += adapted(length).pes(VIDEO_STREAM, TEN_SECONDS);
  stream += adapted(169).pes(VIDEO_STREAM, 2 * TEN_SECONDS, TEN_SECONDS);
  stream += adapted(173).pes(VIDEO_STREAM, 2 * TEN_SECONDS);
  write(segmenter, stream);
  EXPECT_EQ(out._data, stream);
  EXPECT_FALSE(segmenter.isDone());
  EXPECT_EQ(segmenter.currentTimeMs(), 50);

  // A PTS that fits exactly is read; no room is left to search for a start code.
  write(segmenter, adapted(169).pes(VIDEO_STREAM, 2 * TEN_SECONDS).nal(IDR));
  EXPECT_EQ(segmenter.currentTimeMs(), 20000);
  EXPECT_FALSE(segmenter.isDone());
}

// Past 13 h 15 min a 32-bit target wraps, and past 26 h 31 min the stream's
// 33-bit PTS: cuts stay right up to 99 hours.
TEST(SegmenterTest, CutsRightInLongVideos)
{
  for (int64_t hours : {14, 30, 99}) {
    int64_t target = (hours * HOUR_MS + 10000) * 90;
    std::string inside = videoFrame((target - 1) % PTS_WRAP, IDR);
    CollectingSink out;
    Segmenter segmenter(&out);
    segmenter.setStartMs(static_cast<int>(hours * HOUR_MS));
    segmenter.setTargetMs(static_cast<int>(target / 90));
    write(segmenter, inside + videoFrame((target + 3600) % PTS_WRAP, IDR));
    EXPECT_EQ(out._data, inside) << hours << " h";
    EXPECT_TRUE(segmenter.isDone()) << hours << " h";
  }
}

// The last segment runs to the video's end with a target far past any
// video: its time stamps still count on from where the stream started, also
// across the wrap of the 33-bit PTS.
TEST(SegmenterTest, LastSegmentPassesEverythingToTheVideosEnd)
{
  const int64_t wrapMs = PTS_WRAP / 90 - TIMESTAMP_DELAY_MS;
  struct Case {
    int64_t startMs;
    int64_t endMs;
  } cases[] = {{13 * HOUR_MS - 10000, 13 * HOUR_MS}, {wrapMs - wrapMs % 10000, 27 * HOUR_MS}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.endMs / HOUR_MS) + " h");
    std::string fed;
    int64_t lastMs = c.startMs;
    for (int64_t ms = c.startMs; ms < c.endMs; lastMs = ms, ms += 100) {
      int64_t pts = streamPts(ms);
      fed += videoFrame(pts, ms % 2000 ? SLICE : IDR) + continuation() + audioFrame(pts);
    }
    CollectingSink out;
    Segmenter segmenter(&out);
    segmenter.setStartMs(static_cast<int>(c.startMs + TIMESTAMP_DELAY_MS));
    segmenter.setTargetMs((MAX_START_SECONDS + SEGMENT_SECONDS) * 1000 + TIMESTAMP_DELAY_MS);
    write(segmenter, fed);
    EXPECT_EQ(out._data.size() / PACKET_SIZE, fed.size() / PACKET_SIZE) << "packets passed of those fed";
    EXPECT_TRUE(out._data == fed);
    EXPECT_EQ(segmenter.currentTimeMs(), lastMs + TIMESTAMP_DELAY_MS) << "the log's time";
  }
}

namespace {

// A stream context's first three segments: each a target 10 s on, fed a
// packet at a time until it is done.
std::vector<CollectingSink> segmentsOf(const std::string& stream)
{
  std::vector<CollectingSink> out(3);
  Segmenter segmenter(nullptr);
  size_t fed = 0;
  for (int k = 0; k < 3; ++k) {
    segmenter.setOutput(&out[k]);
    segmenter.setTargetMs(10000 * (k + 1));
    segmenter.flush();
    for (; fed < stream.size() && !segmenter.isDone(); fed += PACKET_SIZE)
      write(segmenter, stream.substr(fed, PACKET_SIZE));
  }
  return out;
}

// Sound every 100 ms for 30 s, each just before a frame of picture where
// there is one, with a keyframe every 2 s.
std::string soundAndPicture(bool (*picture)(int64_t ms))
{
  std::string stream;
  for (int64_t ms = 0; ms < 30000; ms += 100) {
    stream += audioFrame(ms * 90);
    if (picture(ms))
      stream += videoFrame(ms * 90, ms % 2000 ? SLICE : IDR);
  }
  return stream;
}

}

// Where no keyframe comes to the target, the sound that reaches it ends the
// segment; sound next to a picture that goes on leaves the cut to its keyframe.
TEST(SegmenterTest, SoundEndsTheSegmentWhereThePictureLagsBehind)
{
  auto keyframe = [](int64_t ms) { return videoFrame(ms * 90, IDR); };
  auto sound = [](int64_t ms) { return audioFrame(ms * 90); };
  struct Case {
    const char* what;
    bool (*picture)(int64_t ms);
    std::string opening[2];
  } cases[] = {
      {"picture throughout", [](int64_t) { return true; }, {keyframe(10000), keyframe(20000)}},
      {"picture ends at 15 s", [](int64_t ms) { return ms < 15000; }, {keyframe(10000), sound(20000)}},
      {"no picture", [](int64_t) { return false; }, {sound(10000), sound(20000)}},
      {"picture pauses from 9.5 s to 25 s", [](int64_t ms) { return ms < 9500 || ms >= 25000; },
       {sound(10500), sound(20000)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string stream = soundAndPicture(c.picture);
    std::vector<CollectingSink> segments = segmentsOf(stream);
    EXPECT_TRUE(segments[0]._data + segments[1]._data + segments[2]._data == stream) << "every packet once, in order";
    for (int k = 1; k < 3; ++k)
      EXPECT_TRUE(segments[k]._data.compare(0, PACKET_SIZE, c.opening[k - 1]) == 0) << "segment " << k << " opening";
  }
}
