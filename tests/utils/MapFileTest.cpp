#include "Debug.h"
#include "MapFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> reports;

void recordReport(const char* line)
{
  reports.emplace_back(line);
}

// The debug output of one load, whose report lines are at the heap's category.
std::vector<std::string> reportsOfLoad(MapFile& map, const char* path)
{
  reports.clear();
  setDebugOutput(recordReport);
  map.load(path, 0);
  setDebugOutput(nullptr);
  std::vector<std::string> result;
  result.swap(reports);
  return result;
}

const char SAMPLE[] =
    " zarudodo\n"
    "\n"
    " Timestamp is 4a5bc6d7 (Mon Jul 13 23:00:00 2009)\n"
    "\n"
    " Preferred load address is 00400000\n"
    "\n"
    " Start         Length     Name                   Class\n"
    " 0001:00000000 00012345H .text                   CODE\n"
    "\n"
    "  Address         Publics by Value              Rva+Base       Lib:Object\n"
    "\n"
    " 0001:00000000       _main                      00401000 f   main.obj\n"
    " 0001:00000100       ?foo@Bar@@QAEXH@Z          00401100 f   Bar.obj\n"
    " 0001:00000200       __ZN9MapFileIO4readEv      00401200 f   io.obj\n"
    " 0001:00000300       _last                      00401300 f   last.obj\n"
    "\n"
    " entry point at        0001:00000000\n"
    "\n"
    "Line numbers for .\\Release\\main.obj(C:\\src\\main.cpp) segment .text\n"
    "\n"
    "    10 0001:00000000    11 0001:00000010    12 0001:00000020    13 0001:00000030\n"
    "\n"
    "Line numbers for .\\Release\\Bar.obj(C:\\src\\Bar.cpp) segment .text\n"
    "\n"
    "   100 0001:00000100   101 0001:00000110   102 0001:00000120   103 0001:00000130\n";

// A map file in the temporary folder, with a blank in its name, removed at the end.
class TempMap {
public:
  explicit TempMap(const std::string& text)
  {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    static int serial;
    _path = std::string(folder) + "map file " + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + ".map";
    FILE* file = fopen(_path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
  }
  ~TempMap() { DeleteFileA(_path.c_str()); }
  const char* path() const { return _path.c_str(); }

private:
  std::string _path;
};

struct Found {
  std::string function;
  std::string file;
  int line;
};

Found lookup(const MapFile& map, unsigned address)
{
  CodePosition position;
  EXPECT_TRUE(map.lookup(address, position));
  return {position.function, position.file, position.line};
}

}

TEST(MapFileTest, ReadsHeaderSymbolsAndLines)
{
  TempMap file(SAMPLE);
  MapFile map;
  EXPECT_EQ(map.load(file.path(), 0), 4);
  EXPECT_STREQ(map.getModuleName(), "zarudodo");
  EXPECT_EQ(map.getTimestamp(), 0x4a5bc6d7u);
  EXPECT_EQ(map.getLoadAddress(), 0x400000u);

  Found inMain = lookup(map, 0x401015);
  EXPECT_EQ(inMain.function, "_main");
  EXPECT_EQ(inMain.file, "C:\\src\\main.cpp");
  EXPECT_EQ(inMain.line, 11);
  Found inBar = lookup(map, 0x401125);
  EXPECT_EQ(inBar.function, "public: void __thiscall Bar::foo(int)");  // through dbghelp
  EXPECT_EQ(inBar.file, "C:\\src\\Bar.cpp");
  EXPECT_EQ(inBar.line, 102);
  // The last line record lies in Bar::foo: a function without line numbers
  // is named by itself, not by the lines of the code before it.
  Found inRead = lookup(map, 0x401210);
  EXPECT_EQ(inRead.function, "MapFileIO::read()");
  EXPECT_EQ(inRead.file, "MapFileIO::read()");
  EXPECT_EQ(inRead.line, 0);
}

TEST(MapFileTest, GccNamesAreDemangledOthersKept)
{
  EXPECT_STREQ(undecorate("__ZN9MapFileIO4readEv"), "MapFileIO::read()");
  EXPECT_STREQ(undecorate("_ZN9MapFileIO4readEv"), "MapFileIO::read()");
  EXPECT_STREQ(undecorate("_plain_c_name"), "_plain_c_name");
  EXPECT_STREQ(undecorate("__Znot a name"), "__Znot a name");
}

TEST(MapFileTest, AddressesOutsideTheSymbolsAreUnknown)
{
  TempMap file(SAMPLE);
  MapFile map;
  map.load(file.path(), 0);
  for (unsigned address : {0u, 0x400fffu, 0x401000u, 0x401301u, 0xffffffffu}) {
    Found found = lookup(map, address);
    EXPECT_EQ(found.function, "Unknown function") << std::hex << address;
    EXPECT_EQ(found.file, "Unknown function");
    EXPECT_EQ(found.line, 0);
  }
  // A symbol's own address belongs to the symbol before it.
  EXPECT_EQ(lookup(map, 0x401100).function, "_main");
  EXPECT_EQ(map.nameOf(0x400000), nullptr);
}

TEST(MapFileTest, BrokenFourthPairKeepsTheThreeBeforeIt)
{
  TempMap file(std::string(SAMPLE) +
               "Line numbers for last.obj(C:\\src\\last.cpp) segment .text\n"
               "    20 0001:00000300    21 0001:00000310    22 0001:00000320    23 0002:00000330\n"
               "    30 0001:00000340    31 0001:00000350    32 0001:00000360\n"
               " 0001:00000400       _after                      00401400 f   last.obj\n"
               "Line numbers for after.obj(C:\\src\\after.cpp) segment .text\n"
               "    40 0001:00000400    41 0001:00000410    42 0001:00000420    43 0001:00000430\n");
  MapFile map;
  map.load(file.path(), 0);
  EXPECT_EQ(lookup(map, 0x401315).line, 21);
  EXPECT_EQ(lookup(map, 0x401335).line, 22);  // no record for the broken pair
  EXPECT_EQ(lookup(map, 0x401355).line, 22);  // three pairs: not a line-number line
  EXPECT_EQ(lookup(map, 0x401355).file, "C:\\src\\last.cpp");
}

TEST(MapFileTest, SourceNameIsTheTextInsideTheLastParentheses)
{
  struct Case {
    const char* header;
    const char* file;
  } cases[] = {
      {"Line numbers for lib(a.obj)(C:\\src\\y.cpp) segment .text", "C:\\src\\y.cpp"},
      {"Line numbers for C:\\src\\plain.cpp", "C:\\src\\plain.cpp"},
      {"Line numbers for C:\\src\\close.cpp) segment .text", "C:\\src\\close.cpp"},
      {"Line numbers for a)b(C:\\src\\z.cpp", "C:\\src\\z.cpp"},  // ")" before "("
      {"Line numbers for x.obj(C:\\My Videos\\\xc3\xa9t\xc3\xa9.cpp) segment .text",
       "C:\\My Videos\\\xc3\xa9t\xc3\xa9.cpp"},
  };
  for (const Case& c : cases) {
    TempMap file(std::string(" m\n") + " 0001:00000000  _f  00401000 f\n" + " 0001:00001000  _g  00402000 f\n" +
                 c.header + "\n" + "     7 0001:00000000     8 0001:00000010     9 0001:00000020    10 0001:00000030\n");
    MapFile map;
    map.load(file.path(), 0);
    EXPECT_EQ(lookup(map, 0x401011).file, c.file) << c.header;
  }
}

TEST(MapFileTest, LineAddressesFollowThePreferredLoadAddress)
{
  const std::string lines =
      "Line numbers for a.obj(a.cpp) segment .text\n"
      "     7 0001:00000000     8 0001:00000010     9 0001:00000020    10 0001:00000030\n";
  TempMap moved(" m\n Preferred load address is 10000000\n 0001:00000000  _f  10001000 f\n"
                " 0001:00001000  _g  10002000 f\n" + lines);
  MapFile map;
  map.load(moved.path(), 0);
  EXPECT_EQ(map.getLoadAddress(), 0x10000000u);
  EXPECT_EQ(lookup(map, 0x10001011).line, 8);

  TempMap without(" m\n 0001:00000000  _f  00401000 f\n 0001:00001000  _g  00402000 f\n" + lines);
  MapFile plain;
  plain.load(without.path(), 0);
  EXPECT_EQ(lookup(plain, 0x401011).line, 8);
}

TEST(MapFileTest, ShortAndOddTokensAreNoSymbols)
{
  TempMap file(" m\n"
               "ab 1 401000\n"
               "0001 _four 00401000\n"
               "12:45 _colon 00401000\n"
               " 0001:00000000 00012345H .text CODE\n"
               " 0001:00000000\n"
               " :\n"
               " 0001:00000010  _real  00401010 f\n"
               " Timestamp\n"
               "Line numbers for \n");
  MapFile map;
  EXPECT_EQ(map.load(file.path(), 0), 1);
  EXPECT_STREQ(map.nameOf(0x401011), nullptr);  // no symbol above it
  EXPECT_EQ(map.getTimestamp(), 0u);
}

TEST(MapFileTest, LoadIsReportedOnTheDebugOutput)
{
  TempMap file(SAMPLE);
  MapFile map;
  std::vector<std::string> loaded = reportsOfLoad(map, file.path());
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0], std::string("Mapfile: read 25 lines from ") + file.path() + "\n");
  std::vector<std::string> missing = reportsOfLoad(map, "C:\\no such folder\\nothing.map");
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0], "Mapfile: Could not read from C:\\no such folder\\nothing.map\n");
}

TEST(MapFileTest, MissingOrEmptyFileGivesEmptyTables)
{
  MapFile map;
  EXPECT_EQ(map.load("C:\\no such folder\\nothing.map", 0), 0);
  EXPECT_EQ(lookup(map, 0x401000).function, "Unknown function");
  EXPECT_STREQ(map.getModuleName(), "");

  TempMap empty("");
  EXPECT_EQ(map.load(empty.path(), 0), 0);
  EXPECT_EQ(map.getLoadAddress(), 0x400000u);
}

TEST(MapFileTest, LineLimitLongNamesAndCrLfLines)
{
  TempMap file(SAMPLE);
  MapFile map;
  EXPECT_EQ(map.load(file.path(), 13), 2);  // the first two symbols lie on lines 12 and 13
  EXPECT_EQ(map.load(file.path(), 0), 4);   // a second load replaces the tables

  std::string name = "_" + std::string(300, 'n');
  TempMap longName(" m\n 0001:00000000  " + name + "  00401000 f\n 0001:00000100  _next  00401100 f\n");
  map.load(longName.path(), 0);
  EXPECT_EQ(std::string(map.nameOf(0x401001)), name.substr(0, 127));

  std::string text = SAMPLE;
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
    text.replace(at, 1, "\r\n");
  TempMap crlf(text);
  EXPECT_EQ(map.load(crlf.path(), 0), 4);
  EXPECT_STREQ(map.getModuleName(), "zarudodo");
  EXPECT_EQ(lookup(map, 0x401015).file, "C:\\src\\main.cpp");
}

namespace {

__attribute__((noinline)) int knownMapFunction(int x)
{
  return x * 3 + 1;
}
const int KNOWN_MAP_FUNCTION_LINE = __LINE__ - 4;

}

TEST(MapFileTest, GeneratedMapOfThisProgramNamesItsOwnFunctions)
{
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  strcpy(strrchr(path, '.'), ".map");
  MapFile map;
  ASSERT_GT(map.load(path, 0), 1000);
  EXPECT_STREQ(map.getModuleName(), "utils_tests");

  uintptr_t relocation = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)) - map.getLoadAddress();
  unsigned address = static_cast<unsigned>(reinterpret_cast<uintptr_t>(&knownMapFunction) - relocation);
  Found found = lookup(map, address + 1);
  EXPECT_EQ(found.function, "(anonymous namespace)::knownMapFunction(int)");
  EXPECT_EQ(found.file, __FILE__);
  EXPECT_GE(found.line, KNOWN_MAP_FUNCTION_LINE);
  EXPECT_LE(found.line, KNOWN_MAP_FUNCTION_LINE + 2);
  EXPECT_EQ(knownMapFunction(2), 7);
}
