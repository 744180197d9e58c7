#include "Paths.h"
#include "StringUtil.h"

#include <gtest/gtest.h>

TEST(PathTest, JoiningAndNameParts)
{
  EXPECT_EQ(joinPath(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(joinPath(L"", L"b.txt"), L"b.txt");
  EXPECT_EQ(joinPath(L"C:\\a", L"D:\\x"), L"D:\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L"\\x"), L"\\x");
  EXPECT_EQ(joinPath(L"Z:\\tmp", L"My Videos", L"\u65e5 1.mp4"), L"Z:\\tmp\\My Videos\\\u65e5 1.mp4");
  EXPECT_EQ(getDirectory(L"C:\\a\\b.txt"), L"C:\\a\\");
  EXPECT_EQ(getFileName(L"C:\\a\\b.txt"), L"b.txt");
  EXPECT_EQ(getDirectory(L"b.txt"), L"");
  EXPECT_EQ(getFileName(L"b.txt"), L"b.txt");
  wchar_t path[] = L"C:\\a\\b.txt";
  EXPECT_EQ(stripFileName(path), 5);
  EXPECT_STREQ(path, L"C:\\a\\");
}

TEST(Paths, ExtensionsAndFileNames)
{
  struct Case {
    const wchar_t* path;
    const wchar_t* ext;
    bool has;
    int at;
  } cases[] = {
    {L"C:\\src\\MAIN.CPP", L"cpp", true, 12},
    {L"C:\\my.videos\\clip", L"", true, -1},
    {L"C:\\my.videos\\clip", L"videos\\clip", false, -1},
    {L"C:\\videos\\clip.mp4", L"", false, 15},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.has, hasExtension(c.path, c.ext)) << toUtf8(c.path) << " " << toUtf8(c.ext);
    EXPECT_EQ(c.at, findExtension(c.path)) << toUtf8(c.path);
  }
  EXPECT_EQ(-1, findExtension(nullptr));
}

TEST(SplitPathTest, FolderAndFileWithoutQuotes)
{
  const wchar_t* cases[][2] = {
      {L" \"C:\\a b\\\u00e9.exe\"  ", L"C:\\a b|\u00e9.exe"},
      {L"\"app.exe\"", L"|app.exe"},
      {L"C:\\app.exe", L"C:\\|app.exe"},
      {L"C:\\folder\\", L"C:\\folder|"},
      {L"\"\"", L"|"},
  };
  for (const auto& c : cases) {
    std::wstring folder = L"old", file = L"old";
    splitPath(c[0], &folder, &file);
    EXPECT_EQ(folder + L"|" + file, c[1]) << c[0];
  }
}
