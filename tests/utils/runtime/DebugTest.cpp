#include "Debug.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<std::string> lines;
void record(const char* line) { lines.emplace_back(line); }
}

// The cut of long lines is the log tests' (one formatter serves both).
TEST(DebugTest, OnlyListedCategoriesAreFormattedAndLinesEndInALineEnd)
{
  setDebugOutput(record);
  const char* bad = reinterpret_cast<const char*>(16);
  debugPrint(98, "%s", bad);  // not formatted, or the bad pointer would crash
  debugPrint(99, "leak of %d bytes", 12);
  static const int list[] = {100, 4096, 0, 4098}, defaults[] = {99, 0};
  setDebugCategories(list);
  debugPrint(4096, "socket");
  debugPrint(4098, "%s", bad);  // after the end
  debugPrint(99, "%s", bad);
  setDebugCategories(defaults);
  setDebugOutput(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"leak of 12 bytes\n", "socket\n"}));
}
