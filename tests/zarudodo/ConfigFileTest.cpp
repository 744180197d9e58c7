#include "ConfigFile.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

json defaults()
{
  json settings;
  settings["port"] = 1025;
  settings["extensions"] = std::vector<json>{"avi", "m4v", "mp4", "divx", "ts"};
  settings["share"] = false;
  settings["folders"] = std::vector<json>{toUtf8(L"C:\\users\\Jos\u00e9\\Vid\u00e9os \u65e5\u672c")};
  return settings;
}

std::string readBytes(const std::wstring& path)
{
  std::string bytes;
  FILE* in = _wfopen(path.c_str(), L"rb");
  if (!in)
    return "(missing)";
  char chunk[4096];
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, in)) > 0)
    bytes.append(chunk, count);
  fclose(in);
  return bytes;
}

bool exists(const std::wstring& path)
{
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  FindClose(search);
  return true;
}

// The real settings file is shared by every test process of this Wine
// prefix; a named mutex takes turns, and the user's file is put back.
class RealSettingsFileTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    _turn = CreateMutexW(nullptr, FALSE, L"zarudodo-tests-settings-file");
    WaitForSingleObject(_turn, INFINITE);
    wchar_t folder[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder), S_OK);
    _path = std::wstring(folder) + L"\\quorvelan.conf";
    _backup = _path + L"." + std::to_wstring(GetCurrentProcessId()) + L".backup";
    MoveFileW(_path.c_str(), _backup.c_str());
    _config.getSettings() = defaults();
  }

  void TearDown() override
  {
    DeleteFileW(_path.c_str());
    RemoveDirectoryW(_path.c_str());
    DeleteFileW((_path + L".new").c_str());
    MoveFileW(_backup.c_str(), _path.c_str());
    ReleaseMutex(_turn);
    CloseHandle(_turn);
  }

  void writeFile(const std::string& bytes)
  {
    FILE* out = _wfopen(_path.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
  }

  HANDLE _turn = nullptr;
  std::wstring _path;
  std::wstring _backup;
  LogRecorder _log;
  ConfigFile _config;
};

}

TEST_F(RealSettingsFileTest, PathIsInApplicationData)
{
  EXPECT_EQ(_config.getPath(), toUtf8(_path));
}

TEST_F(RealSettingsFileTest, NoFileKeepsTheDefaults)
{
  EXPECT_FALSE(_config.load());
  EXPECT_TRUE(_config.getSettings().equals(defaults()));
  EXPECT_EQ(_log.lines("L_ConfigFile"), (std::vector<std::string>{"Loading configuration from " + toUtf8(_path),
                                                                  "Cannot open configuration file. Using defaults."}));
}

TEST_F(RealSettingsFileTest, KeysMissingFromTheFileAreAbsent)
{
  writeFile("{\"port\": 8080}\r\n");
  EXPECT_TRUE(_config.load());
  EXPECT_EQ(_config.getSettings().serialise(), "{\"port\":8080}");
}

TEST_F(RealSettingsFileTest, CorruptFileKeepsTheDefaults)
{
  const std::string corrupt[] = {
      "{port: 1025}", "", "   ", "[\"avi\"]", "1025", "\"text\"", "null",
      std::string("\xff\xfe{\x00\"port\"", 9), std::string(100000, '['), "{\"port\":1025,\"folders\":[\"C:\\",
  };
  for (const std::string& text : corrupt) {
    writeFile(text);
    _log.clear();
    EXPECT_TRUE(_config.load());
    EXPECT_TRUE(_config.getSettings().equals(defaults())) << text.substr(0, 40);
    EXPECT_EQ(_log.lines().back(), "Syntax error in configuration file. Using defaults.");
  }
}

TEST_F(RealSettingsFileTest, UnreadableFileKeepsTheDefaults)
{
  writeFile("{\"port\":8080}");
  HANDLE locked = CreateFileW(_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(_config.load());
  CloseHandle(locked);
  EXPECT_TRUE(_config.getSettings().equals(defaults()));
  EXPECT_EQ(_log.lines().back(), "Cannot open configuration file. Using defaults.");

  DeleteFileW(_path.c_str());
  CreateDirectoryW(_path.c_str(), nullptr);
  EXPECT_FALSE(_config.load());
  EXPECT_TRUE(_config.getSettings().equals(defaults()));
}

TEST_F(RealSettingsFileTest, SaveThenLoadGivesTheSameSettings)
{
  json& settings = _config.getSettings();
  settings["folders"].push_back(toUtf8(L"D:\\\u00c9t\u00e9 \"2024\"\\\xd83c\xdfac"));
  settings["odd \"key\"\\/"] = "tab\tand\x01";
  settings["huge"] = 1e300 * 1e300;
  writeFile("{\"port\":1}");
  ASSERT_TRUE(_config.save());
  EXPECT_EQ(readBytes(_path), settings.serialise());
  EXPECT_FALSE(exists(_path + L".new"));

  ConfigFile reloaded;
  EXPECT_TRUE(reloaded.load());
  settings["huge"] = json(json::nul);  // infinity is written as null
  EXPECT_TRUE(reloaded.getSettings().equals(settings));
  EXPECT_EQ(toWide(reloaded.getSettings()["folders"][1].getString()), L"D:\\\u00c9t\u00e9 \"2024\"\\\xd83c\xdfac");
}

namespace {

// Runs a program of the Unix side of Wine in the given folder.
bool runUnixCommand(const wchar_t* program, std::wstring commandLine, const std::wstring& folder)
{
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool waitUntil(const std::function<bool()>& condition)
{
  for (int i = 0; i < 500 && !condition(); ++i)
    Sleep(10);
  return condition();
}

class SettingsFolderTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    _folder = _tree.folder(L"Jos\u00e9 \u65e5\u672c");
    _path = joinPath(_folder, L"quorvelan.conf");
    _config.getSettings() = defaults();
  }

  TestFolder _tree;
  std::wstring _folder;
  std::wstring _path;
  ConfigFile _config{_tree.path(L"Jos\u00e9 \u65e5\u672c")};
  LogRecorder _log;
};

}

TEST_F(SettingsFolderTest, NonAsciiFolderIsOpenedByItsWideName)
{
  EXPECT_EQ(_config.getPath(), toUtf8(_path));
  ASSERT_TRUE(_config.save());
  ConfigFile reloaded(_folder);
  EXPECT_TRUE(reloaded.load());
  EXPECT_TRUE(reloaded.getSettings().equals(defaults()));
}

TEST_F(SettingsFolderTest, FailedSaveLeavesTheOldFileIntact)
{
  ASSERT_TRUE(_config.save());
  std::string saved = readBytes(_path);
  _config.getSettings()["port"] = 2000;
  std::string failure = "Error writing config to " + toUtf8(_path);

  // The temporary file cannot be made.
  CreateDirectoryW((_path + L".new").c_str(), nullptr);
  EXPECT_FALSE(_config.save());
  RemoveDirectoryW((_path + L".new").c_str());
  EXPECT_EQ(readBytes(_path), saved);
  EXPECT_EQ(_log.lines().back(), failure);

  // The old file is held open, so it cannot be replaced.
  HANDLE held = CreateFileW(_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(_config.save());
  CloseHandle(held);
  EXPECT_EQ(readBytes(_path), saved);
  EXPECT_FALSE(exists(_path + L".new"));

  EXPECT_EQ(_config.getSettings()["port"].getNumber(), 2000);  // memory keeps the change
  EXPECT_EQ(_log.count(failure), 2);
}

TEST_F(SettingsFolderTest, FullDiskLeavesTheOldFileIntact)
{
  ASSERT_TRUE(_config.save());
  std::string saved = readBytes(_path);
  // Every write to /dev/full fails for want of space.
  if (!runUnixCommand(L"Z:\\bin\\ln", L"ln -s /dev/full quorvelan.conf.new", _folder))
    GTEST_SKIP() << "no Unix side to link /dev/full";
  ASSERT_TRUE(waitUntil([&] { return exists(_path + L".new"); }));

  _config.getSettings()["port"] = 2000;
  EXPECT_FALSE(_config.save());
  EXPECT_EQ(readBytes(_path), saved);
  EXPECT_EQ(_log.lines().back(), "Error writing config to " + toUtf8(_path));

  runUnixCommand(L"Z:\\bin\\rm", L"rm -f quorvelan.conf.new", _folder);
  EXPECT_TRUE(waitUntil([&] { return !exists(_path + L".new"); }));
}
