#include "main.h"

#include "FindTask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const HEAD =
    "#EXTM3U\r\n#EXT-X-VERSION:3\r\n#EXT-X-ALLOW-CACHE:NO\r\n#EXT-X-MEDIA-SEQUENCE:0\r\n#EXT-X-TARGETDURATION:10\r\n";

std::string segmentLines(const std::string& address, std::vector<std::pair<int, std::string>> startAndLength)
{
  std::string lines;
  for (const auto& segment : startAndLength)
    lines += "#EXTINF:" + segment.second + ",\r\n" + address + std::to_string(segment.first) + "\r\n";
  return lines;
}

}

// The last segment reaches the video's end, to the hundredth: nothing of the
// end is lost, and a clip under a second still has its segment.
TEST(PlaylistTest, CutsTheDurationIntoTenSecondSegmentsWithAbsoluteAddresses)
{
  const std::string ab = "http://192.168.1.5:1025/v/a%20b.avi?ss=";
  struct Case {
    const wchar_t* name;
    int milliseconds;
    std::string segments;
  } cases[] = {
      {L"a b.avi", 0, ""},
      {L"a b.avi", 30000, segmentLines(ab, {{0, "10"}, {10, "10"}, {20, "10"}})},
      {L"a b.avi", 30010, segmentLines(ab, {{0, "10"}, {10, "10"}, {20, "10"}, {30, "0.01"}})},
      {L"a b.avi", 40500, segmentLines(ab, {{0, "10"}, {10, "10"}, {20, "10"}, {30, "10"}, {40, "0.50"}})},
      {L"a b.avi", 480, segmentLines(ab, {{0, "0.48"}})},
      {L"\u00c9t\u00e9 \u65e5+~_-.mp4", 1000,
       segmentLines("http://192.168.1.5:1025/v/%c3%89t%c3%a9%20%e6%97%a5%2b~_-.mp4?ss=", {{0, "1"}})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(buildPlaylist("192.168.1.5:1025", c.name, c.milliseconds), HEAD + c.segments + "#EXT-X-ENDLIST\r\n")
        << c.milliseconds;
  }
}

TEST(StartSecondsTest, ReadsLikeAtoiButNeverNegativeOrOverflowing)
{
  struct Case {
    const char* text;
    int seconds;
  } cases[] = {
      {nullptr, 0}, {"  +20", 20}, {"12abc", 12}, {"-10", 0}, {"-99999999999999999999", 0},
      {"1000000", MAX_START_SECONDS}, {"1000001", MAX_START_SECONDS}, {"99999999999999999999999999", MAX_START_SECONDS},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parseStartSeconds(c.text), c.seconds) << (c.text ? c.text : "null");
}

TEST(SettingsTest, PortFallsBackToTheDefaultUnlessANumberFrom1To65535)
{
  struct Case {
    const char* settings;
    int port;
  } cases[] = {
      {"{\"port\":8080.9}", 8080}, {"{\"port\":65535}", 65535},  {"{\"port\":1}", 1},
      {"{\"port\":0}", 1025},      {"{\"port\":65536}", 1025},   {"{\"port\":1e300}", 1025},
      {"{\"port\":\"8080\"}", 1025}, {"{}", 1025},                 {"[1,2]", 1025},
  };
  for (const Case& c : cases) {
    json settings = json::parse(c.settings);
    EXPECT_EQ(portFromSettings(settings), c.port) << c.settings;
    EXPECT_EQ(settings.serialise(), json::parse(c.settings).serialise());  // reading adds nothing
  }
}

TEST(SettingsTest, ScanParametersTakeOnlyStringEntries)
{
  json settings = json::parse("{\"extensions\":[\"avi\",3,null,[\"x\"],\"ts\"],\"folders\":[true,\"Z:\\\\t \\u00e9\"]}");
  FindParams params;
  fillFindParams(settings, params);
  EXPECT_EQ(params.patterns, std::vector<std::wstring>({L".avi", L".ts"}));
  EXPECT_EQ(params.folders, std::vector<std::wstring>({L"Z:\\t \u00e9"}));

  settings = json::parse("{\"extensions\":\"avi\",\"folders\":{\"a\":\"C:\\\\\"}}");
  FindParams none;
  fillFindParams(settings, none);
  EXPECT_TRUE(none.patterns.empty());
  EXPECT_TRUE(none.folders.empty());
}
