#include "Segmenter.h"
#include "TsPackets.h"

#include "Log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

const int64_t TEN_SECONDS = 900000;

class SegmenterTest : public ::testing::Test {
protected:
  void writeAll(const std::string& stream, size_t piece = Segmenter::MAX_WRITE)
  {
    for (size_t at = 0; at < stream.size(); at += piece) {
      std::string part = stream.substr(at, piece);
      _segmenter.write(&part[0], static_cast<int>(part.size()));
    }
  }

  // A segmenter that has just cut at 10 s, as a stream context leaves it.
  bool keyframeEndsSegment(const std::string& packet)
  {
    Segmenter segmenter(nullptr);
    segmenter.setTargetMs(10000);
    std::string copy = packet;
    segmenter.write(&copy[0], PACKET_SIZE);
    return segmenter.isDone();
  }

  CollectingSink _out;
  Segmenter _segmenter{&_out};
};

std::string join(std::initializer_list<std::string> packets)
{
  std::string all;
  for (const std::string& p : packets)
    all += p;
  return all;
}

}

TEST_F(SegmenterTest, PartialPacketWaitsForTheRest)
{
  _segmenter.setTargetMs(10000);
  std::string packet = continuation();
  _segmenter.write(&packet[0], 100);
  EXPECT_EQ(_out._writes, 1);  // an empty write still reaches the output
  EXPECT_EQ(_out._data.size(), 0u);
  _segmenter.write(&packet[100], 88);
  EXPECT_EQ(_out._writes, 2);
  EXPECT_EQ(_out._data, packet);
}

TEST_F(SegmenterTest, FullWritePassesItsWholePacketsAndKeepsTheTail)
{
  _segmenter.setTargetMs(10000);
  std::string stream;
  for (int i = 0; i < 22; ++i)
    stream += continuation(i % 2 ? AUDIO_PID : VIDEO_PID);
  _segmenter.write(&stream[0], 4096);
  EXPECT_EQ(_out._data, stream.substr(0, 21 * PACKET_SIZE));
  _segmenter.write(&stream[4096], static_cast<int>(stream.size()) - 4096);
  EXPECT_EQ(_out._data, stream);
}

TEST_F(SegmenterTest, NothingGoesOutBeforeATargetIsSet)
{
  std::string packet = videoFrame(0);
  _segmenter.write(&packet[0], PACKET_SIZE);
  EXPECT_TRUE(_segmenter.isDone());
  EXPECT_EQ(_out._writes, 0);
  _segmenter.setTargetMs(10000);
  _segmenter.flush();
  EXPECT_EQ(_out._data, packet);
}

TEST_F(SegmenterTest, CutsBeforeTheFirstKeyframeAtTheTargetAndCarriesItOver)
{
  std::string first = join({TsPacket(0, true), videoKeyframe(126000), continuation(),
                            videoKeyframe(TEN_SECONDS - 1), audioFrame(TEN_SECONDS + 500),
                            videoFrame(TEN_SECONDS + 3600), continuation(AUDIO_PID)});
  std::string cut = videoKeyframe(TEN_SECONDS);
  std::string second = join({cut, continuation(), videoKeyframe(2 * TEN_SECONDS - 3600)});
  std::string next = videoKeyframe(2 * TEN_SECONDS + 3600);
  std::string tail = join({continuation(), audioFrame(2 * TEN_SECONDS)});

  _segmenter.setTargetMs(10000);
  writeAll(first + second + next + tail, 300);
  EXPECT_TRUE(_segmenter.isDone());
  EXPECT_EQ(_out._data, first);
  int writes = _out._writes;
  std::string more = continuation();
  _segmenter.write(&more[0], PACKET_SIZE);
  EXPECT_EQ(_out._writes, writes);  // done: not even an empty write

  CollectingSink secondOut;
  _segmenter.setOutput(&secondOut);
  _segmenter.setTargetMs(20000);
  _segmenter.flush();
  EXPECT_EQ(secondOut._data, second);
  EXPECT_TRUE(_segmenter.isDone());

  CollectingSink thirdOut;
  _segmenter.setOutput(&thirdOut);
  _segmenter.setTargetMs(30000);
  _segmenter.flush();
  EXPECT_EQ(_out._data + secondOut._data + thirdOut._data, first + second + next + tail + more);
  EXPECT_EQ(_segmenter.currentTimeMs(), 20000);
}

TEST_F(SegmenterTest, AnyNalRefIdcOfAnIdrSliceIsAKeyframe)
{
  for (int header : {0x05, 0x15, 0x25, 0x45, 0x65})
    EXPECT_TRUE(keyframeEndsSegment(videoKeyframe(TEN_SECONDS, header))) << header;
  for (int header : {0x01, 0x21, 0x41, 0x61, 0x06, 0x67, 0x68, 0x09})
    EXPECT_FALSE(keyframeEndsSegment(videoKeyframe(TEN_SECONDS, header))) << header;
}

TEST_F(SegmenterTest, KeyframeTimeIsThePtsNotTheDts)
{
  EXPECT_TRUE(keyframeEndsSegment(TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, TEN_SECONDS, TEN_SECONDS - 7200).nal(0x65)));
  EXPECT_FALSE(keyframeEndsSegment(TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, TEN_SECONDS - 1, TEN_SECONDS).nal(0x65)));
  // A 33-bit time stamp keeps its top bit.
  Segmenter segmenter(nullptr);
  segmenter.setTargetMs(10000);
  std::string packet = TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, 0x1FFFFFFFFLL, 1).nal(0x65);
  segmenter.write(&packet[0], PACKET_SIZE);
  EXPECT_EQ(segmenter.currentTimeMs(), static_cast<int>(0x1FFFFFFFFLL / 90));
}

TEST_F(SegmenterTest, VideoPesWithoutPtsTakesTheLastPtsOfAnyStream)
{
  Segmenter segmenter(nullptr);
  segmenter.setTargetMs(10000);
  std::string stream = audioFrame(TEN_SECONDS) + std::string(TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM).nal(0x65));
  segmenter.write(&stream[0], static_cast<int>(stream.size()));
  EXPECT_TRUE(segmenter.isDone());
}

TEST_F(SegmenterTest, OnlyTheFirstPacketOfAVideoPesIsSearched)
{
  // A start code in a continuation packet is not seen.
  EXPECT_FALSE(keyframeEndsSegment(TsPacket(VIDEO_PID).nal(0x65)));
  // Audio is never searched, whatever its payload holds.
  EXPECT_FALSE(keyframeEndsSegment(TsPacket(AUDIO_PID, true).pes(AUDIO_STREAM, TEN_SECONDS).nal(0x05)));
  EXPECT_FALSE(keyframeEndsSegment(TsPacket(AUDIO_PID, true).pes(AUDIO_STREAM, TEN_SECONDS).nal(0x65)));
  // Any video stream id counts.
  EXPECT_TRUE(keyframeEndsSegment(TsPacket(VIDEO_PID, true).pes(0xEF, TEN_SECONDS).nal(0x65)));
}

TEST_F(SegmenterTest, StartCodeCountsAnywhereInThePacketButNotAcrossItsEnd)
{
  auto keyframeAt = [](int offset) {
    return TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, TEN_SECONDS).at(offset).put({0x00, 0x00, 0x01, 0x25});
  };
  EXPECT_TRUE(keyframeEndsSegment(keyframeAt(40)));
  EXPECT_TRUE(keyframeEndsSegment(keyframeAt(PACKET_SIZE - 4)));
  EXPECT_FALSE(keyframeEndsSegment(keyframeAt(PACKET_SIZE - 3)));
}

TEST_F(SegmenterTest, StartCodeIsFoundAtEveryOffsetAmongNearMisses)
{
  const int nearMisses[] = {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02};
  TsPacket background = TsPacket(VIDEO_PID, true).pes(VIDEO_STREAM, TEN_SECONDS);
  int payload = background.cursor();
  for (int at = payload; at < PACKET_SIZE; ++at)
    background.put({nearMisses[at % 10]});
  EXPECT_FALSE(keyframeEndsSegment(background));
  for (int at = payload; at <= PACKET_SIZE - 4; ++at) {
    TsPacket packet = background;
    packet.at(at).put({0x00, 0x00, 0x01, 0x45});
    EXPECT_TRUE(keyframeEndsSegment(packet)) << at;
  }
}

TEST_F(SegmenterTest, AdaptationFieldIsSkippedAndAloneHoldsNoPes)
{
  EXPECT_TRUE(keyframeEndsSegment(TsPacket(VIDEO_PID, true).adaptationField(7).pes(VIDEO_STREAM, TEN_SECONDS).nal(0x65)));
  EXPECT_TRUE(keyframeEndsSegment(TsPacket(VIDEO_PID, true).adaptationField(0).pes(VIDEO_STREAM, TEN_SECONDS).nal(0x65)));
  // Without a payload, bytes that look like a PES header are not one.
  TsPacket alone = TsPacket(VIDEO_PID, true).adaptationOnly(0).pes(VIDEO_STREAM, TEN_SECONDS).nal(0x65);
  EXPECT_FALSE(keyframeEndsSegment(alone));
}

TEST_F(SegmenterTest, TablesAndNullPacketsAreNotParsed)
{
  auto onPid = [](unsigned pid) {
    return TsPacket(pid, true).pes(VIDEO_STREAM, TEN_SECONDS).nal(0x65);
  };
  EXPECT_FALSE(keyframeEndsSegment(onPid(0x0000)));
  EXPECT_FALSE(keyframeEndsSegment(onPid(0x000E)));
  EXPECT_FALSE(keyframeEndsSegment(onPid(0x1FFF)));
  EXPECT_TRUE(keyframeEndsSegment(onPid(0x000F)));
  EXPECT_TRUE(keyframeEndsSegment(onPid(0x1FFE)));
}

TEST_F(SegmenterTest, PayloadWithoutStartCodePrefixIsNoPes)
{
  // A section whose fourth byte looks like a video stream id.
  TsPacket section = TsPacket(0x1000, true);
  section.put({0x00, 0x02, 0xB0, 0xE0, 0x00, 0x01, 0x80, 0x80, 0x05, 0x21, 0x00, 0x37, 0x77, 0x41}).nal(0x65);
  EXPECT_FALSE(keyframeEndsSegment(section));
}

// Headers whose lengths point past the packet: the packet goes out as it
// is, and sets no time stamp and no keyframe.
TEST_F(SegmenterTest, FieldsThatRunPastThePacketLeaveItUnparsed)
{
  std::vector<std::string> hostile = {
      TsPacket(VIDEO_PID, true).adaptationField(255),
      TsPacket(VIDEO_PID, true).adaptationField(184),
      TsPacket(VIDEO_PID, true).adaptationField(183).pes(VIDEO_STREAM, TEN_SECONDS),
      TsPacket(VIDEO_PID, true).adaptationField(178).pes(VIDEO_STREAM, TEN_SECONDS),
      TsPacket(VIDEO_PID, true).adaptationField(176).pes(VIDEO_STREAM, TEN_SECONDS),
      // PTS fits, its DTS does not.
      TsPacket(VIDEO_PID, true).adaptationField(169).pes(VIDEO_STREAM, 2 * TEN_SECONDS, TEN_SECONDS),
      TsPacket(VIDEO_PID, true).adaptationField(173).pes(VIDEO_STREAM, 2 * TEN_SECONDS),
  };
  _segmenter.setTargetMs(10000);
  std::string stream = audioFrame(4500);
  for (const std::string& packet : hostile)
    stream += packet;
  writeAll(stream);
  EXPECT_EQ(_out._data, stream);
  EXPECT_FALSE(_segmenter.isDone());
  EXPECT_EQ(_segmenter.currentTimeMs(), 50);

  // Right at the end, a PTS that fits exactly is read; no room is left to
  // search for a start code.
  std::string exact = TsPacket(VIDEO_PID, true).adaptationField(169).pes(VIDEO_STREAM, 2 * TEN_SECONDS).nal(0x65);
  _segmenter.write(&exact[0], PACKET_SIZE);
  EXPECT_EQ(_segmenter.currentTimeMs(), 20000);
  EXPECT_FALSE(_segmenter.isDone());
}

TEST_F(SegmenterTest, LongWriteIsTakenInPartsAndNothingIsOverrunWhenDone)
{
  std::vector<std::string> logged;
  static std::vector<std::string>* lines;
  lines = &logged;
  LogSetSink([](const char*, const char* text) { lines->push_back(text); });

  std::string stream;
  for (int i = 0; i < 60; ++i)
    stream += continuation();
  _segmenter.setTargetMs(10000);
  _segmenter.write(&stream[0], static_cast<int>(stream.size()));
  EXPECT_EQ(_out._data, stream);

  // Done and handed more than it can hold: it keeps what fits.
  std::string cut = videoKeyframe(TEN_SECONDS) + stream;
  _segmenter.write(&cut[0], static_cast<int>(cut.size()));
  LogSetSink(nullptr);
  EXPECT_TRUE(_segmenter.isDone());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0], "Segmenter buffer full: " + std::to_string(cut.size() - Segmenter::BUFFER_SIZE) + " bytes dropped");

  CollectingSink next;
  _segmenter.setOutput(&next);
  _segmenter.setTargetMs(20000);
  _segmenter.flush();
  EXPECT_EQ(next._data, cut.substr(0, Segmenter::BUFFER_SIZE - Segmenter::BUFFER_SIZE % PACKET_SIZE));
}

TEST_F(SegmenterTest, BadWritesAreRefused)
{
  _segmenter.setTargetMs(10000);
  _segmenter.write(nullptr, 10);
  _segmenter.write(nullptr, -1);
  EXPECT_EQ(_out._writes, 0);
  _segmenter.write(nullptr, 0);
  EXPECT_EQ(_out._writes, 1);
}

namespace {

// Plausible packets with a few bytes changed, or plain noise.
std::string hostilePacket(std::mt19937& random, int64_t pts)
{
  std::string packet;
  switch (random() % 6) {
  case 0: packet = videoKeyframe(pts, random() % 2 ? 0x65 : 0x25); break;
  case 1: packet = TsPacket(VIDEO_PID, true).adaptationField(random() % 190).pes(VIDEO_STREAM, pts, pts - 3600).nal(0x65); break;
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

// Guards on both sides show a write outside the segmenter.
struct GuardedSegmenter {
  unsigned char before[256];
  Segmenter segmenter{nullptr};
  unsigned char after[256];
};

bool guardsIntact(const GuardedSegmenter& guarded)
{
  for (int i = 0; i < 256; ++i) {
    if (guarded.before[i] != 0xA5 || guarded.after[i] != 0xA5)
      return false;
  }
  return true;
}

}

TEST(SegmenterHostileTest, DamagedStreamsCutOnlyAtPacketBordersAndLoseNothing)
{
  std::mt19937 random(20240601);
  const int MAX_EXACT_TARGET_MS = 47721858;
  for (int round = 0; round < 40; ++round) {
    CollectingSink out;
    Segmenter segmenter(&out);
    std::string fed;
    int targetMs = 10000;
    segmenter.setTargetMs(targetMs);
    std::string stream;
    for (int i = 0; i < 400; ++i)
      stream += hostilePacket(random, 126000 + i * 9000);
    size_t at = 0;
    while (at < stream.size()) {
      // As the stream context does: a new segment once this one is done.
      while (segmenter.isDone() && targetMs < MAX_EXACT_TARGET_MS) {
        targetMs = std::min(MAX_EXACT_TARGET_MS, targetMs * 2);
        segmenter.setTargetMs(targetMs);
        segmenter.flush();
      }
      if (segmenter.isDone())
        break;
      size_t piece = std::min<size_t>(random() % (Segmenter::MAX_WRITE + 1), stream.size() - at);
      std::string part = stream.substr(at, piece);
      segmenter.write(&part[0], static_cast<int>(piece));
      at += piece;
      fed += part;
      ASSERT_EQ(out._data.size() % PACKET_SIZE, 0u);
      ASSERT_EQ(out._data, fed.substr(0, out._data.size()));
      ASSERT_LE(fed.size() - out._data.size(), static_cast<size_t>(Segmenter::BUFFER_SIZE));
    }
  }
}

TEST(SegmenterHostileTest, NoCallOrderWritesOutsideTheSegmenter)
{
  std::mt19937 random(7);
  GuardedSegmenter guarded;
  memset(guarded.before, 0xA5, sizeof guarded.before);
  memset(guarded.after, 0xA5, sizeof guarded.after);
  CollectingSink out;
  std::vector<char> noise(3 * Segmenter::MAX_WRITE);
  for (int step = 0; step < 20000; ++step) {
    switch (random() % 5) {
    case 0: guarded.segmenter.setTargetMs(static_cast<int>(random())); break;
    case 1: guarded.segmenter.flush(); break;
    case 2: guarded.segmenter.setOutput(random() % 2 ? &out : nullptr); break;
    default: {
      for (char& c : noise)
        c = static_cast<char>(random() % 4 ? random() : 0);
      int length = static_cast<int>(random() % noise.size());
      guarded.segmenter.write(noise.data(), length);
    }
    }
    out._data.clear();
  }
  EXPECT_TRUE(guardsIntact(guarded));
}
