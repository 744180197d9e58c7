#include "Portability.h"
#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

namespace {

const wchar_t CHILD_SLEEP[] = L"--portability-child-sleep";
const wchar_t CHILD_ARGS[] = L"--portability-child-args";
const DWORD CHILD_EXIT_CODE = 7;

// The process tests start this test program again as their child; the
// child's part runs here, before GoogleTest looks at the command line.
bool runChildPartIfAsked()
{
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count >= 2 && wcscmp(args[1], CHILD_SLEEP) == 0) {
    Sleep(60000);
    ExitProcess(0);
  }
  if (count >= 3 && wcscmp(args[1], CHILD_ARGS) == 0) {
    FILE* file = _wfopen(args[2], L"wb");
    for (int i = 3; i < count; ++i)
      fprintf(file, "%s\n", toUtf8(args[i]).c_str());
    fclose(file);
    ExitProcess(CHILD_EXIT_CODE);
  }
  LocalFree(args);
  return false;
}

const bool CHILD_PART_DONE = runChildPartIfAsked();

DWORD waitForExit(HANDLE process)
{
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

}

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
  EXPECT_EQ(stripExtension(L"C:\\dir.old\\file"), L"C:\\dir.old\\file");
  EXPECT_EQ(stripExtension(L"C:\\dir.old\\file.tar.gz"), L"C:\\dir.old\\file.tar");
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
  EXPECT_FALSE(getProgramFilesFolder().empty());

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

    std::vector<std::wstring> names;
    FolderReader reader(folder.root());
    for (std::wstring name; reader.next(name);)
      names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"a b \u00e9\u65e5.mp4"}));
    std::wstring name = L"unchanged";
    EXPECT_FALSE(FolderReader().next(name));
    EXPECT_EQ(name, L"unchanged");
    EXPECT_FALSE(reader.next(name));
    ASSERT_TRUE(reader.open(folder.root()));  // starts over
    EXPECT_TRUE(reader.next(name));
    EXPECT_FALSE(reader.open(folder.path(L"no such folder \u00e9")));
    EXPECT_FALSE(reader.next(name));
  }
}

TEST(FileTest, TempFileNamesAreUniqueAndCreated)
{
  wchar_t first[MAX_PATH], second[MAX_PATH];
  ASSERT_TRUE(makeTempFileName(first) && makeTempFileName(second));
  EXPECT_STRNE(first, second);
  EXPECT_TRUE(startsWith(getFileName(first), std::wstring(L"msc")));
  EXPECT_TRUE(DeleteFileW(first) && DeleteFileW(second));  // they exist
}

TEST(ProcessTest, CommandLineQuotesOnlyArgumentsWithBlanks)
{
  std::wstring program = L"kept:", commandLine;
  joinCommandLine({L"C:\\bin\\ffmpeg.exe", L"-i", L"C:\\My Videos\\a.mp4"}, program, commandLine);
  EXPECT_EQ(program, L"kept:C:\\bin\\ffmpeg.exe");
  EXPECT_EQ(commandLine, L"C:\\bin\\ffmpeg.exe -i \"C:\\My Videos\\a.mp4\"");
  EXPECT_DEATH(joinCommandLine({}, program, commandLine), "args.empty");
}

TEST(ProcessTest, ChildGetsItsArgumentsIntactOrIsMissing)
{
  TestFolder folder;
  std::wstring report = folder.path(L"report.txt"), self = getModulePath();
  const wchar_t* args[] = {self.c_str(), CHILD_ARGS, report.c_str(), L"-ss", L"C:\\My Videos\\\u00e9t\u00e9 \u65e5.mp4",
                           nullptr};
  HANDLE child = runProcess(args);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(waitForExit(child), CHILD_EXIT_CODE);
  CloseHandle(child);
  std::string lines;
  ASSERT_TRUE(readFile(report, lines));
  EXPECT_EQ(lines, "-ss\nC:\\My Videos\\\xC3\xA9t\xC3\xA9 \xE6\x97\xA5.mp4\n");
  EXPECT_EQ(runProcess({folder.path(L"no such program \u00e9.exe")}), nullptr);
}

TEST(ProcessTest, KillEndsAStallingChild)
{
  HANDLE child = runProcess({getModulePath(), CHILD_SLEEP});
  ASSERT_NE(child, nullptr);
  HANDLE waitable;
  DuplicateHandle(GetCurrentProcess(), child, GetCurrentProcess(), &waitable, 0, FALSE, DUPLICATE_SAME_ACCESS);
  EXPECT_EQ(WaitForSingleObject(waitable, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  killProcess(child);
  EXPECT_EQ(waitForExit(waitable), 0xFFFFFFFFu);
  CloseHandle(waitable);
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
