#include "Debug.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<std::string> lines;
void record(const char* line) { lines.emplace_back(line); }
}

// Records without DebugRecorder, which would replace the default list.
TEST(DebugTest, OnlyListedCategoriesAreFormattedAndLinesEndInALineEnd)
{
  setDebugOutput(record);
  const char* bad = reinterpret_cast<const char*>(16);
  debugPrint(98, "%s", bad);  // not formatted, or the bad pointer would crash
  debugPrint(100, "%s", bad);
  debugPrint(99, "leak of %d bytes", 12);
  debugPrint(99, "Starting web server.\n");
  debugPrint(99, "%s", std::string(1022, 'a').c_str());
  debugPrint(99, "%s", std::string(2000, 'b').c_str());
  static const int list[] = {100, 4096, 0, 4098}, defaults[] = {99, 0};
  setDebugCategories(list);
  debugPrint(4096, "socket");
  debugPrint(4098, "%s", bad);  // after the end
  debugPrint(0, "%s", bad);
  debugPrint(99, "%s", bad);
  setDebugCategories(defaults);
  setDebugOutput(nullptr);
  debugPrint(99, "to the debugger");
  EXPECT_EQ(lines, (std::vector<std::string>{"leak of 12 bytes\n", "Starting web server.\n\n",
                                             std::string(1022, 'a') + "\n", std::string(1022, 'b') + "\n", "socket\n"}));
}

TEST(DebugTest, EnvironmentNamesAnOutputFileThatIsCreatedEmpty)
{
  TestFolder folder;
  std::wstring path = folder.file(L"debug \u00e9t\u00e9.txt", "old contents");
  _wputenv_s(L"DEBUG_OUTPUT", path.c_str());
  openDebugOutputFile();
  ASSERT_NE(debugOutputFile, nullptr);
  fclose(debugOutputFile);
  debugOutputFile = nullptr;
  EXPECT_EQ(FileStat(path.c_str()).size(), 0);
}
