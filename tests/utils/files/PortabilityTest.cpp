#include "Portability.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

TEST(PathTest, JoiningAndNameParts)
{
  EXPECT_EQ(joinPath(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(joinPath(L"", L"b.txt"), L"b.txt");
  EXPECT_EQ(joinPath(L"C:\\a", L"D:\\x"), L"D:\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L"\\x"), L"\\x");
  EXPECT_EQ(joinPath(L"Z:\\tmp", L"My Videos", L"\u65e5 1.mp4"), L"Z:\\tmp\\My Videos\\\u65e5 1.mp4");
}

TEST(FileTest, OddNamesOnTheWindowsDriveAndTheUnixRoot)
{
  for (const std::wstring& parent : {tempFolder(), std::wstring(L"Z:\\tmp")}) {
    TestFolder folder(parent);
    std::wstring path = folder.file(L"a b \u00e9\u65e5.mp4", std::string(1234, 'v'));
    EXPECT_TRUE(fileExists(path.c_str())) << toUtf8(path);
    EXPECT_EQ(FileStat(path.c_str()).size(), 1234);
    EXPECT_FALSE(FileStat(folder.path(L"missing \u00e9.mp4").c_str()).exists);
  }
}
