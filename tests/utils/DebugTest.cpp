#include "Debug.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines;

void recordingOutput(const char* line)
{
  lines.emplace_back(line);
}

const int DEFAULT_LIST[] = {99, 0};

class DebugTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    lines.clear();
    setDebugOutput(recordingOutput);
  }
  void TearDown() override
  {
    setDebugOutput(nullptr);
    setDebugCategories(DEFAULT_LIST);
  }
};

}

TEST_F(DebugTest, DefaultListPrintsOnlyTheHeapCategory)
{
  const char* bad = reinterpret_cast<const char*>(16);
  debugPrint(98, "%s", bad);  // not formatted, or the bad pointer would crash
  debugPrint(100, "%s", bad);
  debugPrint(99, "leak of %d bytes", 12);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "leak of 12 bytes\n");
}

TEST_F(DebugTest, InstalledListDecidesAndZeroEndsIt)
{
  static const int list[] = {100, 4096, 0, 4098};
  setDebugCategories(list);
  debugPrint(4096, "socket");
  debugPrint(4098, "after the end");
  debugPrint(0, "zero");
  debugPrint(99, "not listed");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "socket\n");
}

TEST_F(DebugTest, CategoryIsCompared16Bit)
{
  static const int list[] = {0x1001, 0};
  setDebugCategories(list);
  debugPrint(static_cast<unsigned short>(0x11001), "wrapped");
  ASSERT_EQ(lines.size(), 1u);
}

TEST_F(DebugTest, LineEndIsAlwaysAppended)
{
  debugPrint(99, "Starting web server.\n");
  debugPrint(99, "%s", std::string(1022, 'a').c_str());
  debugPrint(99, "%s", std::string(2000, 'b').c_str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Starting web server.\n\n");
  EXPECT_EQ(lines[1], std::string(1022, 'a') + "\n");
  EXPECT_EQ(lines[2], std::string(1022, 'b') + "\n");
}

TEST_F(DebugTest, NullOutputRestoresTheDefault)
{
  setDebugOutput(nullptr);
  debugPrint(99, "to the debugger");
  EXPECT_TRUE(lines.empty());
}

TEST(DebugOutputFileTest, EnvironmentNamesAFileThatIsCreatedEmpty)
{
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + L"debug \u00e9t\u00e9.txt";
  FILE* old = _wfopen(path.c_str(), L"w");
  ASSERT_NE(old, nullptr);
  fputs("old contents", old);
  fclose(old);

  _wputenv_s(L"DEBUG_OUTPUT", path.c_str());
  openDebugOutputFile();
  ASSERT_NE(debugOutputFile, nullptr);
  fclose(debugOutputFile);
  debugOutputFile = nullptr;

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 0u);
  DeleteFileW(path.c_str());
}
