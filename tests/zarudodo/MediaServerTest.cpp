#include "MediaServer.h"

#include "ConfigFile.h"
#include "ContextManager.h"
#include "FileDatabase.h"
#include "FindTask.h"
#include "LoopbackClient.h"
#include "Playlist.h"
#include "SegmentAddress.h"
#include "Settings.h"
#include "StandInTranscoder.h"
#include "TestSupport.h"
#include "WebServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const HEAD =
    "#EXTM3U\r\n#EXT-X-VERSION:3\r\n#EXT-X-ALLOW-CACHE:NO\r\n#EXT-X-MEDIA-SEQUENCE:0\r\n#EXT-X-TARGETDURATION:10\r\n";

std::string segmentLines(const std::string& address, std::vector<std::pair<std::string, std::string>> fileAndLength)
{
  std::string lines;
  for (const auto& segment : fileAndLength)
    lines += "#EXTINF:" + segment.second + ",\r\n" + address + segment.first + "\r\n";
  return lines;
}

}

// The last segment reaches the video's end, to the hundredth: nothing of the
// end is lost, a tail under half a second joins it (no transcoder is started
// for a few frames), and a clip under a second still has its segment.
TEST(PlaylistTest, CutsTheDurationIntoTenSecondSegmentsWithAbsoluteAddresses)
{
  const std::string ab = "http://192.168.1.5:1025/v/a%20b.avi/";
  struct Case {
    const wchar_t* name;
    int milliseconds;
    std::string segments;
  } cases[] = {
      {L"a b.avi", 0, ""},
      {L"a b.avi", 30000, segmentLines(ab, {{"0.ts", "10"}, {"10.ts", "10"}, {"20-end.ts", "10"}})},
      {L"a b.avi", 30490, segmentLines(ab, {{"0.ts", "10"}, {"10.ts", "10"}, {"20-end.ts", "10.49"}})},
      {L"a b.avi", 40500,
       segmentLines(ab, {{"0.ts", "10"}, {"10.ts", "10"}, {"20.ts", "10"}, {"30.ts", "10"}, {"40-end.ts", "0.50"}})},
      {L"a b.avi", 480, segmentLines(ab, {{"0-end.ts", "0.48"}})},
      {L"\u00c9t\u00e9 \u65e5+~_-.mp4", 1000,
       segmentLines("http://192.168.1.5:1025/v/%c3%89t%c3%a9%20%e6%97%a5%2b~_-.mp4/", {{"0-end.ts", "1"}})},
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

namespace {

// Reserves the address space left in blocks as large as a thread's stack:
// while it lives no thread can start, and the heap keeps what it holds.
struct AddressSpaceFiller {
  AddressSpaceFiller()
  {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(dos) + dos->e_lfanew);
    blocks.reserve(4096);
    for (void* block; blocks.size() < blocks.capacity() &&
                      (block = VirtualAlloc(nullptr, nt->OptionalHeader.SizeOfStackReserve, MEM_RESERVE, PAGE_NOACCESS));)
      blocks.push_back(block);
  }
  ~AddressSpaceFiller()
  {
    for (void* block : blocks)
      VirtualFree(block, 0, MEM_RELEASE);
  }
  std::vector<void*> blocks;
};

}

// Start-up whose server thread cannot start fails as when no port is free,
// at once: nothing would ever say that the thread started.
TEST(MediaServerStart, AServerThreadThatCannotStartFailsStartUp)
{
  LogRecorder log;
  MediaServer server;
  bool started;
  {
    AddressSpaceFiller filler;
    started = server.startWebServer();
  }
  EXPECT_FALSE(started);
  EXPECT_EQ(WebServer::NO_PORT, server.getPort());
  EXPECT_EQ(1, log.count("The web server's thread could not start; the server does not run."));
}

namespace {

// Output without a keyframe: a segment stays in flight until its client or
// the server ends it, or the output ends.
const char ENDLESS[] = "[stream]\nout-pattern 4000000000\n";
const char FORTY_MEGABYTES[] = "[stream]\nout-pattern 40000000\n";

// The whole server over loopback, serving one video with the stand-in in the
// transcoder's place.
class StreamingServerTest : public testing::Test {
protected:
  void startServer(const char* script)
  {
    ASSERT_TRUE(_transcoder.ready());
    _folder.file(L"clip.mp4", script);
    _server = new MediaServer();
    theConfig->getSettings() = json::parse("{\"extensions\":[\"mp4\"],\"port\":" + std::to_string(randomHighPort()) +
                                           ",\"folders\":[\"" + jsonEscapeWide(_folder.root()) + "\"]}");
    ASSERT_TRUE(_server->startWebServer());
    for (std::wstring file; !theDatabase->lookup(L"clip.mp4", file);)
      Sleep(100);
  }

  void TearDown() override
  {
    delete _server;
  }

  std::unique_ptr<LoopbackClient> requestSegment(const char* from = "127.0.0.1", int start = 0)
  {
    auto client = std::make_unique<LoopbackClient>(_server->getPort(), from);
    client->send("GET /v/clip.mp4/" + std::to_string(start) + ".ts HTTP/1.0\r\n\r\n");
    return client;
  }

  bool childrenComeTo(unsigned count, int withinMs = 10000)
  {
    for (auto start = std::chrono::steady_clock::now(); countOwnChildren() != count;) {
      if (millisecondsSince(start) > withinMs)
        return false;
      Sleep(20);
    }
    return true;
  }

  Deadline _deadline{90000};
  TestFolder _folder;
  StandInTranscoder _transcoder{_folder.root()};
  // The server's threads log until TearDown ends it: the recorder outlives them.
  LogRecorder _log;
  MediaServer* _server = nullptr;
};

}

// A transcoder working on for a player that reset its request would take a
// processor for nothing. (Closing on unread bytes resets the connection.)
TEST_F(StreamingServerTest, ClientThatResetsEndsItsTranscoderAtOnce)
{
  startServer(ENDLESS);
  auto client = requestSegment();
  EXPECT_EQ(client->receive(15000, 12).substr(0, 12), "HTTP/1.0 200");
  ASSERT_EQ(countOwnChildren(), 1u);
  client.reset();
  EXPECT_TRUE(childrenComeTo(0, 1000));
}

// A player that gave up on its first request asks again at once: the repeat
// goes on with the same transcoder, from the segment's first byte.
TEST_F(StreamingServerTest, RepeatedRequestTakesTheSegmentInProductionOver)
{
  startServer(ENDLESS);
  auto first = requestSegment();
  std::string begun = first->receive(15000, 70000);
  auto again = requestSegment();
  auto waiting = [this] {
    for (const std::string& line : _log.lines("L_ContextManager"))
      if (line.rfind("Wait for the segment in production", 0) == 0)
        return true;
    return false;
  };
  while (!waiting())
    Sleep(20);
  first.reset();
  std::string taken = again->receive(15000, begun.size());
  std::string given = begun.substr(begun.find("\r\n\r\n")), got = taken.substr(taken.find("\r\n\r\n"));
  size_t common = std::min(given.size(), got.size());
  EXPECT_GT(common, 60000u);
  EXPECT_EQ(got.substr(0, common), given.substr(0, common));
  EXPECT_EQ(_log.count("Create new streaming context"), 1);

  // The request that took over holds one of the client's transcoders, no more.
  std::vector<std::unique_ptr<LoopbackClient>> others;
  for (int start : {10, 20, 30, 40})
    others.push_back(requestSegment("127.0.0.1", start));
  int streaming = 0;
  for (auto& client : others)
    streaming += client->receive(15000, 12).compare(0, 12, "HTTP/1.0 200") == 0;
  EXPECT_EQ(streaming, ContextManager::MAX_TRANSCODERS_PER_CLIENT - 1);
}

// Each a segment of its own: a repeated one would wait for the first.
TEST_F(StreamingServerTest, OneAddressGetsFourTranscodersAndThen503)
{
  startServer(FORTY_MEGABYTES);
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 30; ++i)
    clients.push_back(requestSegment("127.0.0.1", 10 * i));
  int streaming = 0, refused = 0;
  for (auto& client : clients) {
    std::string answer = client->receive(15000, 4096);
    streaming += answer.compare(0, 12, "HTTP/1.0 200") == 0;
    refused += answer.compare(0, 12, "HTTP/1.0 503") == 0 && answer.find("\r\nRetry-After: 5\r\n") != std::string::npos;
  }
  EXPECT_EQ(streaming, ContextManager::MAX_TRANSCODERS_PER_CLIENT);
  EXPECT_EQ(refused, 30 - streaming);
  EXPECT_EQ(countOwnChildren(), static_cast<unsigned>(streaming));
}

// A probe is a transcoder: the asks for one video share one, its failure
// stands for that version of the file until the next scan, and a client at
// its limit is refused one.
TEST_F(StreamingServerTest, ConcurrentAsksShareOneProbeWithinTheLimits)
{
  startServer("[probe]\nsleep 1000\nerr clip.mp4: Invalid data found when processing input\n");
  auto askPlaylists = [this](int count) {
    std::vector<std::string> answers(count);
    std::vector<std::thread> askers;
    for (std::string& answer : answers)
      askers.emplace_back([&] { answer = roundTrip(_server->getPort(), "GET /v/clip.mp4.m3u8 HTTP/1.0\r\n\r\n"); });
    for (std::thread& asker : askers)
      asker.join();
    return answers;
  };
  auto probes = [this] {
    int count = 0;
    for (const std::string& line : _log.lines("L_Encoder"))
      count += line.rfind("Could not find Duration", 0) == 0 || line.rfind("Duration code", 0) == 0;
    return count;
  };
  for (const std::string& answer : askPlaylists(20))
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.0 500");
  EXPECT_EQ(askPlaylists(1)[0].substr(0, 12), "HTTP/1.0 500");
  EXPECT_EQ(probes(), 1);
  _server->startFolderScan();
  askPlaylists(1);
  EXPECT_EQ(probes(), 2);

  _folder.file(L"clip.mp4", std::string(ENDLESS) + "[probe]\nerr   Duration: 00:00:30.00\n");
  std::vector<std::unique_ptr<LoopbackClient>> streams;
  for (int start : {0, 10, 20, 30}) {
    streams.push_back(requestSegment("127.0.0.1", start));
    ASSERT_EQ(streams.back()->receive(15000, 12).substr(0, 12), "HTTP/1.0 200");
  }
  std::string refused = askPlaylists(1)[0];
  EXPECT_EQ(refused.substr(0, 12), "HTTP/1.0 503");
  EXPECT_NE(refused.find("\r\nRetry-After: 5\r\n"), std::string::npos);
  streams.clear();
  ASSERT_TRUE(childrenComeTo(0));
  EXPECT_EQ(askPlaylists(1)[0].substr(0, 12), "HTTP/1.0 200");
}

// A segment its transcoder cut short must not end like a whole one, or the
// player plays on over the hole; the video's own end, short of the length
// the playlist gave, still ends in order. The stand-in ends at once from 0,
// dies after 5 s from 5, and stalls past the read time-out from 20.
TEST_F(StreamingServerTest, SegmentCutShortIsResetAndTheVideosEndIsNot)
{
  startServer("[stream]\nout-pattern 100000\nsleep %ss%000\nexit %ss%\n");
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int start : {0, 5, 20})
    clients.push_back(requestSegment(("127.0.0." + std::to_string(2 + start)).c_str(), start));
  for (auto& client : clients)
    EXPECT_EQ(client->receive(30000).substr(0, 12), "HTTP/1.0 200");
  EXPECT_FALSE(clients[0]->wasReset());
  EXPECT_TRUE(clients[1]->wasReset());
  EXPECT_TRUE(clients[2]->wasReset());
  EXPECT_EQ(_log.count("Completed the last stream request at time offset 0 ms"), 1);
  EXPECT_EQ(_log.count("Completed the last stream request at time offset 5000 ms"), 0);
}

// Closing the program must not wait for players, reading or not. Those that
// do not read come last, so that their sends block only once the shutdown
// has begun: a blocked send would hold it for its whole time-out.
TEST_F(StreamingServerTest, ShutdownEndsSegmentsInFlightWithinFiveSeconds)
{
  startServer(ENDLESS);
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  std::vector<std::thread> readers;
  for (int i = 0; i < 10; ++i) {
    if (i == 5) {
      ASSERT_TRUE(childrenComeTo(5));
    }
    clients.push_back(requestSegment(("127.0.0." + std::to_string(11 + i)).c_str()));
    LoopbackClient* client = clients.back().get();
    if (i < 5)
      readers.emplace_back([client] { while (!client->receive(15000, 1 << 16).empty()) {} });
  }
  ASSERT_TRUE(childrenComeTo(10));
  auto began = std::chrono::steady_clock::now();
  delete _server;
  _server = nullptr;
  EXPECT_LT(millisecondsSince(began), 5000);
  EXPECT_EQ(countOwnChildren(), 0u);
  for (std::thread& reader : readers)
    reader.join();
}

// Segment addresses repeat the Host header only when it can name a host: a
// huge one would swell every address of a long video's playlist.
TEST_F(StreamingServerTest, PlaylistAddressesRepeatOnlyAPlausibleHost)
{
  startServer("[probe]\nerr   Duration: 00:00:30.00\n");
  auto playlistFor = [&](const std::string& hostLine) {
    return roundTrip(_server->getPort(), "GET /v/clip.mp4.m3u8 HTTP/1.0\r\n" + hostLine + "\r\n");
  };
  auto segmentsAt = [](const std::string& host) {
    return segmentLines("http://" + host + "/v/clip.mp4/", {{"0.ts", "10"}, {"10.ts", "10"}, {"20-end.ts", "10"}});
  };
  std::string huge = playlistFor("Host: " + std::string(60000, 'h') + "\r\n");
  EXPECT_EQ(huge.size(), playlistFor("").size());
  EXPECT_NE(huge.find(segmentsAt("127.0.0.1:" + std::to_string(_server->getPort()))), std::string::npos);
  EXPECT_NE(playlistFor("Host: [fe80::1]:8080\r\n").find(segmentsAt("[fe80::1]:8080")), std::string::npos);
}

// The log repeats the address and some headers (a refused origin, say): a line
// feed there would start a log line of the client's making.
TEST_F(StreamingServerTest, NoRequestStartsALineOfTheLog)
{
  startServer(ENDLESS);
  const std::string forged = "\nL_Main: Folders have changed.", form = "setconfig=&config={}";
  std::string answers[] = {
      roundTrip(_server->getPort(), "POST /db HTTP/1.0\r\nOrigin: http://elsewhere.example)" + forged +
                                        "\r\nContent-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form),
      roundTrip(_server->getPort(), "GET /db?getconfig" + forged + " HTTP/1.0\r\n\r\n")};
  for (const std::string& answer : answers)
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.0 400");
  for (const std::string& line : _log.lines())
    EXPECT_EQ(line.find("\nL_Main:"), std::string::npos) << line;
}

// Wine lists Linux names that Windows forbids and opens them by their 8.3
// names alone; the list and the addresses keep the long names.
TEST_F(StreamingServerTest, NamesWindowsForbidsAreListedAndPlayed)
{
  const char oneSegment[] = "[probe]\nerr   Duration: 00:00:05.00\n[stream]\nout-pattern 100000\n";
  _folder.file(L"odd.mp4", oneSegment);
  _folder.file(L"odd\\inner.mp4", oneSegment);
  _folder.file(L"trail\\last.mp4", oneSegment);
  ASSERT_TRUE(runUnixCommand(L"Z:\\bin\\sh", L"sh -c \"mv odd.mp4 'a?b|c.mp4' && mv trail 'End.' && mv odd 'd?e|f'\"",
                             _folder.root(), [&] { return !fileExists(_folder.path(L"odd\\inner.mp4").c_str()); }));
  startServer(oneSegment);
  while (_log.count("Done searching!\n") == 0)
    Sleep(50);
  EXPECT_EQ(theDatabase->listJson(), "\"a?b|c.mp4\",\"clip.mp4\",\"inner.mp4\",\"last.mp4\"");
  for (const char* address : {"a%3fb%7cc.mp4.m3u8", "a%3fb%7cc.mp4/0-end.ts", "a%3Fb%7Cc.mp4?ss=0", "inner.mp4/0-end.ts"})
    EXPECT_EQ(roundTrip(_server->getPort(), "GET /v/" + std::string(address) + " HTTP/1.0\r\n\r\n").substr(0, 12),
              "HTTP/1.0 200")
        << address;
}

// A video that another program holds open without sharing is still there:
// it stays listed, and what asks for it is told that it cannot be read.
TEST_F(StreamingServerTest, AVideoHeldOpenWithoutSharingStaysListed)
{
  startServer("[probe]\nerr   Duration: 00:00:05.00\n");
  HANDLE held = CreateFileW(_folder.path(L"clip.mp4").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  for (const char* request : {"GET /v/clip.mp4.m3u8", "GET /v/clip.mp4/0.ts", "HEAD /v/clip.mp4?ss=0"})
    EXPECT_EQ(roundTrip(_server->getPort(), std::string(request) + " HTTP/1.0\r\n\r\n").substr(0, 12), "HTTP/1.0 500")
        << request;
  CloseHandle(held);
  EXPECT_EQ(theDatabase->listJson(), "\"clip.mp4\"");
}
