#include "Segmenter.h"
#include "TestSupport.h"
#include "TsPackets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

const int64_t TEN_SECONDS = 900000;

// A first video packet with an adaptation field before its PES header.
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
  std::string first = videoFrame(0, IDR);
  segmenter.write(&first[0], PACKET_SIZE);
  EXPECT_TRUE(segmenter.isDone()) << "nothing goes out before a target is set";
  EXPECT_EQ(out._writes, 0);
  segmenter.setTargetMs(10000);
  segmenter.flush();
  EXPECT_EQ(out._data, first);

  std::string packet = continuation();
  out = CollectingSink();
  segmenter.write(&packet[0], 100);
  EXPECT_EQ(out._writes, 0) << "no whole packet, no write: an HTTP response would send its head";
  segmenter.write(&packet[100], 88);
  EXPECT_EQ(out._data, packet);
  segmenter.write(nullptr, 10);
  segmenter.write(nullptr, -1);
  segmenter.write(nullptr, 0);
  EXPECT_EQ(out._writes, 1) << "bad and empty writes pass nothing on";

  std::string stream;
  for (int i = 0; i < 60; ++i)
    stream += continuation(i % 2 ? AUDIO_PID : VIDEO_PID);
  out._data.clear();
  segmenter.write(&stream[0], 4096);
  EXPECT_EQ(out._data, stream.substr(0, 21 * PACKET_SIZE));
  segmenter.write(&stream[4096], static_cast<int>(stream.size()) - 4096);  // over MAX_WRITE: taken in parts
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
  std::string first = TsPacket(0, true);
  for (std::string packet : {videoFrame(126000, IDR), continuation(), videoFrame(TEN_SECONDS - 1, IDR),
                             audioFrame(TEN_SECONDS + 500), videoFrame(TEN_SECONDS + 3600), continuation(AUDIO_PID)})
    first += packet;
  std::string second = videoFrame(TEN_SECONDS, IDR) + continuation() + videoFrame(2 * TEN_SECONDS - 3600, IDR);
  std::string third = videoFrame(2 * TEN_SECONDS + 3600, IDR) + continuation() + audioFrame(2 * TEN_SECONDS);

  CollectingSink out[3];
  Segmenter segmenter(&out[0]);
  segmenter.setTargetMs(10000);
  write(segmenter, first + second + third, 300);
  EXPECT_TRUE(segmenter.isDone());
  EXPECT_EQ(out[0]._data, first);
  int writes = out[0]._writes;
  std::string more = continuation();
  segmenter.write(&more[0], PACKET_SIZE);
  EXPECT_EQ(out[0]._writes, writes) << "done: not even an empty write";

  for (int n = 1; n < 3; ++n) {
    segmenter.setOutput(&out[n]);
    segmenter.setTargetMs(10000 * (n + 1));
    segmenter.flush();
  }
  EXPECT_EQ(out[1]._data, second);
  EXPECT_EQ(out[2]._data, third + more);
  EXPECT_EQ(segmenter.currentTimeMs(), 20000);
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
  auto audio = [](int header) { return TsPacket(AUDIO_PID, true).pes(AUDIO_STREAM, TEN_SECONDS).nal(header); };
  TsPacket section = TsPacket(0x1000, true);
  section.put({0x00, 0x02, 0xB0, 0xE0, 0x00, 0x01, 0x80, 0x80, 0x05, 0x21, 0x00, 0x37, 0x77, 0x41}).nal(IDR);
  std::vector<Case> cases = {
      {"PTS at the target, DTS before", video(T, T - 7200).nal(IDR), true},
      {"PTS before the target, DTS at it", video(T - 1, T).nal(IDR), false},
      {"start code in a continuation packet", TsPacket(VIDEO_PID).nal(IDR), false},
      {"audio holding an IDR start code", audio(IDR), false},
      {"audio holding 0x05", audio(0x05), false},
      {"another video stream id", TsPacket(VIDEO_PID, true).pes(0xEF, T).nal(IDR), true},
      {"start code ending the packet", video(T).at(PACKET_SIZE - 4).put({0, 0, 1, 0x25}), true},
      {"start code cut by the packet's end", video(T).at(PACKET_SIZE - 3).put({0, 0, 1, 0x25}), false},
      {"after an adaptation field", adapted(7).pes(VIDEO_STREAM, T).nal(IDR), true},
      {"after an empty adaptation field", adapted(0).pes(VIDEO_STREAM, T).nal(IDR), true},
      {"adaptation field without payload", TsPacket(VIDEO_PID, true).adaptation(0, false).pes(VIDEO_STREAM, T).nal(IDR), false},
      {"PAT", onPid(0x0000), false},
      {"reserved PID", onPid(0x000E), false},
      {"null packet", onPid(0x1FFF), false},
      {"first ordinary PID", onPid(0x000F), true},
      {"last ordinary PID", onPid(0x1FFE), true},
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
  CollectingSink out;
  Segmenter segmenter(&out);
  segmenter.setTargetMs(10000);
  write(segmenter, videoFrame(0x1FFFFFFFFLL));
  EXPECT_EQ(segmenter.currentTimeMs(), static_cast<int>(0x1FFFFFFFFLL / 90)) << "33 bits, the top one kept";
  EXPECT_TRUE(endsSegment(audioFrame(TEN_SECONDS) + std::string(TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM).nal(IDR))))
      << "a video PES without PTS takes the last PTS of any stream";

  // Headers whose lengths point past the packet: the packet goes out as it
  // is, and sets no time stamp and no keyframe.
  out._data.clear();
  std::string stream = audioFrame(4500);
  stream += adapted(255);
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

namespace {

// Plausible packets with a few bytes changed, or plain noise.
std::string hostilePacket(std::mt19937& random, int64_t pts)
{
  std::string packet;
  switch (random() % 6) {
  case 0: packet = videoFrame(pts, random() % 2 ? IDR : 0x25); break;
  case 1: packet = adapted(random() % 190).pes(VIDEO_STREAM, pts, pts - 3600).nal(IDR); break;
  case 2: packet = audioFrame(pts); break;
  case 3: packet = continuation(random() % 2 ? VIDEO_PID : AUDIO_PID); break;
  case 4: packet = videoFrame(pts); break;
  default:
    for (int i = 0; i < PACKET_SIZE; ++i)
      packet += static_cast<char>(random());
    return packet;
  }
  for (int flips = random() % 4; flips > 0; --flips)
    packet[random() % PACKET_SIZE] = static_cast<char>(random());
  return packet;
}

}

TEST(SegmenterHostileTest, DamagedStreamsCutOnlyAtPacketBordersAndLoseNothing)
{
  std::mt19937 random(20240601);
  const int MAX_EXACT_TARGET_MS = 47721858;
  for (int round = 0; round < 40; ++round) {
    CollectingSink out;
    Segmenter segmenter(&out);
    int targetMs = 10000;
    segmenter.setTargetMs(targetMs);
    std::string stream;
    for (int i = 0; i < 400; ++i)
      stream += hostilePacket(random, 126000 + i * 9000);
    for (size_t at = 0; at < stream.size();) {
      // As the stream context does: a new segment once this one is done.
      while (segmenter.isDone() && targetMs < MAX_EXACT_TARGET_MS) {
        targetMs = std::min(MAX_EXACT_TARGET_MS, targetMs * 2);
        segmenter.setTargetMs(targetMs);
        segmenter.flush();
      }
      if (segmenter.isDone())
        break;
      size_t piece = std::min<size_t>(random() % (Segmenter::MAX_WRITE + 1), stream.size() - at);
      segmenter.write(&stream[at], static_cast<int>(piece));
      at += piece;
      ASSERT_EQ(out._data.size() % PACKET_SIZE, 0u);
      ASSERT_EQ(out._data, stream.substr(0, out._data.size()));
      ASSERT_LE(at - out._data.size(), static_cast<size_t>(Segmenter::BUFFER_SIZE));
    }
  }
}

TEST(SegmenterHostileTest, NoCallOrderWritesOutsideTheSegmenter)
{
  struct Guarded {
    unsigned char before[256];
    Segmenter segmenter{nullptr};
    unsigned char after[256];
  } guarded;
  memset(guarded.before, 0xA5, sizeof guarded.before);
  memset(guarded.after, 0xA5, sizeof guarded.after);
  std::mt19937 random(7);
  CollectingSink out;
  std::vector<char> noise(3 * Segmenter::MAX_WRITE);
  for (int step = 0; step < 20000; ++step) {
    switch (random() % 5) {
    case 0: guarded.segmenter.setTargetMs(static_cast<int>(random())); break;
    case 1: guarded.segmenter.flush(); break;
    case 2: guarded.segmenter.setOutput(random() % 2 ? &out : nullptr); break;
    default:
      for (char& c : noise)
        c = static_cast<char>(random() % 4 ? random() : 0);
      guarded.segmenter.write(noise.data(), static_cast<int>(random() % noise.size()));
    }
    out._data.clear();
  }
  std::string untouched(256, '\xA5');
  EXPECT_EQ(std::string(guarded.before, guarded.before + 256), untouched);
  EXPECT_EQ(std::string(guarded.after, guarded.after + 256), untouched);
}
