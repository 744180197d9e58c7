#include "MapFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Blank lines as a linker writes them.
const char SAMPLE[] =
    " zarudodo\n\n"
    " Timestamp is 4a5bc6d7 (Mon Jul 13 23:00:00 2009)\n\n"
    " Preferred load address is 00400000\n\n"
    " Start         Length     Name                   Class\n"
    " 0001:00000000 00012345H .text                   CODE\n\n"
    "  Address         Publics by Value              Rva+Base       Lib:Object\n\n"
    " 0001:00000000       _main                      00401000 f   main.obj\n"
    " 0001:00000100       ?foo@Bar@@QAEXH@Z          00401100 f   Bar.obj\n"
    " 0001:00000200       __ZN9MapFileIO4readEv      00401200 f   io.obj\n"
    " 0001:00000300       _last                      00401300 f   last.obj\n\n"
    " entry point at        0001:00000000\n\n"
    "Line numbers for .\\Release\\main.obj(C:\\src\\main.cpp) segment .text\n\n"
    "    10 0001:00000000    11 0001:00000010    12 0001:00000020    13 0001:00000030\n\n"
    "Line numbers for .\\Release\\Bar.obj(C:\\src\\Bar.cpp) segment .text\n\n"
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
  EXPECT_EQ(map.load(file.path(), 13), 2);  // the first two symbols lie on lines 12 and 13
  EXPECT_EQ(map.load(file.path(), 0), 4);    // a second load replaces the tables
  EXPECT_STREQ(map.getModuleName(), "zarudodo");
  EXPECT_EQ(map.getTimestamp(), 0x4a5bc6d7u);
  EXPECT_EQ(map.getLoadAddress(), 0x400000u);
  EXPECT_EQ(lookup(map, 0x401015), "_main @ C:\\src\\main.cpp:11");
  EXPECT_EQ(lookup(map, 0x401125), "public: void __thiscall Bar::foo(int) @ C:\\src\\Bar.cpp:102");  // through dbghelp
  // The last line record lies in Bar::foo: a function without line numbers
  // is named by itself, not by the lines of the code before it.
  EXPECT_EQ(lookup(map, 0x401210), "MapFileIO::read() @ MapFileIO::read():0");
  EXPECT_EQ(lookup(map, 0x401100).substr(0, 8), "_main @ ");  // a symbol's own address belongs to the one before
  for (unsigned address : {0u, 0x400fffu, 0x401000u, 0x401301u, 0xffffffffu})
    EXPECT_EQ(lookup(map, address), "Unknown function @ Unknown function:0") << std::hex << address;
  EXPECT_EQ(map.nameOf(0x400000), nullptr);
}

TEST(MapFileTest, GccNamesAreDemangledOthersKept)
{
  EXPECT_STREQ(undecorate("__ZN9MapFileIO4readEv"), "MapFileIO::read()");
  EXPECT_STREQ(undecorate("_ZN9MapFileIO4readEv"), "MapFileIO::read()");
  EXPECT_STREQ(undecorate("_plain_c_name"), "_plain_c_name");
  EXPECT_STREQ(undecorate("__Znot a name"), "__Znot a name");
}

TEST(MapFileTest, SourceNameWithBlanksAndNonAscii)
{
  TempMap file(" m\n 0001:00000000  _f  00401000 f\n 0001:00001000  _g  00402000 f\n"
               "Line numbers for x.obj(C:\\My Videos\\\xc3\xa9t\xc3\xa9.cpp) segment .text\n"
               "     7 0001:00000000     8 0001:00000010     9 0001:00000020    10 0001:00000030\n");
  MapFile map;
  map.load(file.path(), 0);
  EXPECT_EQ(lookup(map, 0x401011), "_f @ C:\\My Videos\\\xc3\xa9t\xc3\xa9.cpp:8");
}

TEST(MapFileTest, OddLinesLongNamesAndMissingFiles)
{
  TempMap odd(" m\nab 1 401000\n0001 _four 00401000\n12:45 _colon 00401000\n 0001:00000000 00012345H .text CODE\n"
              " 0001:00000000\n :\n 0001:00000010  _real  00401010 f\n Timestamp\nLine numbers for \n");
  MapFile map;
  EXPECT_EQ(map.load(odd.path(), 0), 1);
  EXPECT_STREQ(map.nameOf(0x401011), nullptr);  // no symbol above it
  EXPECT_EQ(map.getTimestamp(), 0u);

  std::string name = "_" + std::string(300, 'n');
  TempMap longName(" m\n 0001:00000000  " + name + "  00401000 f\n 0001:00000100  _next  00401100 f\n");
  map.load(longName.path(), 0);
  EXPECT_EQ(std::string(map.nameOf(0x401001)), name.substr(0, 127));

  TempMap empty(""), sample(SAMPLE);
  MapFile fresh;
  EXPECT_EQ(fresh.load(empty.path(), 0), 0);
  EXPECT_STREQ(fresh.getModuleName(), "");
  EXPECT_EQ(fresh.getLoadAddress(), 0x400000u);
  map.load(sample.path(), 0);
  EXPECT_EQ(map.load("C:\\no such folder\\nothing.map", 0), 0);
  EXPECT_EQ(lookup(map, 0x401000), "Unknown function @ Unknown function:0");
}
