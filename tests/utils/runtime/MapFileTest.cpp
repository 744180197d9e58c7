#include "MapFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

namespace {

// The build's map writer's layout, blank lines and all. The load address is
// not the default one, so the line records show it was read.
const char SAMPLE[] =
    " zarudodo\n\n"
    " Timestamp is 4a5bc6d7 (Mon Jul 13 23:00:00 2009)\n\n"
    " Preferred load address is 00500000\n\n"
    " Start         Length     Name                   Class\n"
    " 0001:00000000 00012345H .text                   CODE\n\n"
    "  Address         Publics by Value              Rva+Base       Lib:Object\n\n"
    " 0001:00000000       _main 00501000 f\n"
    " 0001:00000100       __ZN3Bar3fooEi 00501100 f\n"
    " 0001:00000200       __ZN9MapFileIO4readEv 00501200 f\n"
    " 0001:00000300       __Zbad 00501300 f\n"
    " 0001:00000400       end_of_code 00501400 f\n\n"
    " entry point at        0001:00000000\n\n"
    "Line numbers for main.obj(/src/main.cpp) segment .text\n\n"
    "    10 0001:00000000    11 0001:00000010    12 0001:00000020    13 0001:00000030\n\n"
    "Line numbers for \xc3\xa9t\xc3\xa9.obj(/My Videos/\xc3\xa9t\xc3\xa9.cpp) segment .text\n\n"
    "   100 0001:00000100   101 0001:00000110   102 0001:00000120   103 0001:00000130\n";

// A map file in the temporary folder, with a blank in its name (the reader
// takes ANSI names), removed at the end.
struct TempMap {
  explicit TempMap(const std::string& text)
  {
    static int serial;
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    name = std::string(folder) + "map file " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    FILE* file = fopen(name.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
  }
  ~TempMap() { DeleteFileA(name.c_str()); }
  const char* path() const { return name.c_str(); }
  std::string name;
};

// The symbol count, and what loading wrote to standard error.
std::pair<int, std::string> load(MapFile& map, const char* path)
{
  testing::internal::CaptureStderr();
  int symbols = map.load(path, 0);
  return {symbols, testing::internal::GetCapturedStderr()};
}

// "function @ file:line" as the map names the address.
std::string lookup(const MapFile& map, unsigned address)
{
  CodePosition position;
  EXPECT_TRUE(map.lookup(address, position));
  return std::string(position.function) + " @ " + position.file + ":" + std::to_string(position.line);
}

}

TEST(MapFileTest, ReadsHeaderSymbolsAndLines)
{
  TempMap file(SAMPLE);
  MapFile map;
  EXPECT_EQ(load(map, file.path()), std::make_pair(5, "Mapfile: read 26 lines from " + file.name + "\n"));
  EXPECT_EQ(lookup(map, 0x501015), "_main @ /src/main.cpp:11");
  EXPECT_EQ(lookup(map, 0x501125), "Bar::foo(int) @ /My Videos/\xc3\xa9t\xc3\xa9.cpp:102");
  // The last line record lies in Bar::foo: a function without line numbers
  // is named by itself, not by the lines of the code before it.
  EXPECT_EQ(lookup(map, 0x501210), "MapFileIO::read() @ MapFileIO::read():0");
  EXPECT_EQ(lookup(map, 0x501310), "__Zbad @ __Zbad:0");  // not a g++ name after all
  EXPECT_EQ(lookup(map, 0x501100).substr(0, 8), "_main @ ");  // a symbol's own address belongs to the one before
  for (unsigned address : {0u, 0x501000u, 0x501401u})
    EXPECT_EQ(lookup(map, address), "Unknown function @ Unknown function:0") << std::hex << address;
}

TEST(MapFileTest, OddLinesLongNamesAndMissingFiles)
{
  std::string name = "_" + std::string(300, 'n');
  TempMap odd(" m\nab 1 401000\n0001 _four 00401000\n12:45 _colon 00401000\n 0001:00000000 00012345H .text CODE\n"
              " 0001:00000000\n :\n 0001:00000010  " + name + "  00401010 f\n 0001:00000100  _next  00401100 f\n"
              " Timestamp\nLine numbers for \n");
  MapFile map;
  EXPECT_EQ(map.load(odd.path(), 0), 2);
  EXPECT_EQ(lookup(map, 0x401011), name.substr(0, 127) + " @ " + name.substr(0, 127) + ":0");
  TempMap empty("");
  EXPECT_EQ(load(map, empty.path()), std::make_pair(0, std::string()));
  EXPECT_EQ(load(map, "C:\\no such folder\\nothing.map"),
            std::make_pair(0, std::string("Mapfile: Could not read from C:\\no such folder\\nothing.map\n")));
}
