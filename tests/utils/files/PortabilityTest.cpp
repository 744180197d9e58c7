#include "Portability.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

// The process runner, the folder reader and the temporary names have no
// caller in the program.
TEST(PathTest, JoiningAndNameParts)
{
  EXPECT_EQ(joinPath(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(joinPath(L"", L"b.txt"), L"b.txt");
  EXPECT_EQ(joinPath(L"C:\\a", L"D:\\x"), L"D:\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L"\\x"), L"\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L""), L"C:\\a\\");
  EXPECT_EQ(joinPath(L"Z:\\tmp", L"My Videos", L"\u65e5 1.mp4"), L"Z:\\tmp\\My Videos\\\u65e5 1.mp4");

  EXPECT_EQ(getExtension(L"C:\\v\\video"), L"");
  EXPECT_EQ(getExtension(L"video.final.mp4"), L"mp4");
  EXPECT_EQ(getExtension(L"video."), L"");
  EXPECT_EQ(getExtension(L"C:\\dir.old\\file"), L"old\\file");
  EXPECT_EQ(getDirectory(L"C:\\My Videos\\a.mp4"), L"C:\\My Videos\\");
  EXPECT_EQ(getDirectory(L"a.mp4"), L"");
  EXPECT_EQ(getFileName(L"C:\\My Videos\\a b.mp4"), L"a b.mp4");
  EXPECT_EQ(getFileName(L"C:\\dir\\"), L"");
  EXPECT_EQ(getFileName(getModulePath()), L"utils_tests.exe");
}

TEST(SpecialFolderTest, FoldersAsWineReportsThemAndFailures)
{
  std::wstring folders[4];
  for (int kind : {FOLDER_PROFILE, FOLDER_DESKTOP, FOLDER_DOCUMENTS, FOLDER_APPDATA}) {
    ASSERT_TRUE(getSpecialFolder(kind, folders[kind]));
    EXPECT_TRUE(FileStat(folders[kind].c_str()).exists) << toUtf8(folders[kind]);
  }
  const std::wstring& profile = folders[FOLDER_PROFILE];
  EXPECT_TRUE(startsWith(profile, std::wstring(L"C:\\users\\")));
  EXPECT_TRUE(startsWith(folders[FOLDER_DESKTOP], profile + L"\\"));
  EXPECT_EQ(folders[FOLDER_DOCUMENTS], profile + L"\\Documents");
  EXPECT_EQ(folders[FOLDER_APPDATA], profile + L"\\AppData\\Roaming");
  EXPECT_EQ(getAppDataPath(L"quorvelan.conf"), folders[FOLDER_APPDATA] + L"\\quorvelan.conf");

  // "My Computer" exists for the shell but has no file-system path.
  for (int csidl : {CSIDL_DRIVES, 0x7F}) {
    std::wstring out = L"stale";
    EXPECT_FALSE(getShellFolder(csidl, out));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_DEATH(getSpecialFolder(4, folders[0]), "kind");
}

TEST(FileTest, OddNamesOnTheWindowsDriveAndTheUnixRoot)
{
  for (const std::wstring& parent : {tempFolder(), std::wstring(L"Z:\\tmp")}) {
    TestFolder folder(parent);
    std::wstring path = folder.file(L"a b \u00e9\u65e5.mp4", std::string(1234, 'v'));
    EXPECT_TRUE(fileExists(path.c_str())) << toUtf8(path);
    FileStat status(path.c_str());
    EXPECT_TRUE(status.exists && (status.st_mode & _S_IFREG));
    EXPECT_EQ(status.size(), 1234);
    std::wstring missing = folder.path(L"missing \u00e9.mp4");
    EXPECT_FALSE(fileExists(missing.c_str()));
    EXPECT_FALSE(FileStat(missing.c_str()).exists);
  }
}

TEST(ProcessTest, CommandLineQuotesOnlyArgumentsWithBlanks)
{
  std::wstring program = L"kept:", commandLine;
  joinCommandLine({L"C:\\bin\\ffmpeg.exe", L"-i", L"C:\\My Videos\\a.mp4"}, program, commandLine);
  EXPECT_EQ(program, L"kept:C:\\bin\\ffmpeg.exe");
  EXPECT_EQ(commandLine, L"C:\\bin\\ffmpeg.exe -i \"C:\\My Videos\\a.mp4\"");
  EXPECT_DEATH(joinCommandLine({}, program, commandLine), "args.empty");
}

TEST(ErrorTextTest, SystemMessages)
{
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::wstring text = getLastErrorText();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text, L"Error retrieving error");
  EXPECT_NE(text.back(), L'\n');
  EXPECT_EQ(formatSystemMessage(0x2FFFFFFF), L"Error retrieving error");
}
