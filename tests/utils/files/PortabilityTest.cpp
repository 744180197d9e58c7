#include "Portability.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

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
