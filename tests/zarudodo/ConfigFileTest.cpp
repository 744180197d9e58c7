#include "ConfigFile.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

json defaults()
{
  return json::parse("{\"port\":1025,\"extensions\":[\"avi\",\"m4v\",\"mp4\",\"divx\",\"ts\"],\"share\":false,"
                     "\"folders\":[\"C:\\\\users\\\\Jos\u00e9\\\\Vid\u00e9os \u65e5\u672c\"]}");
}

std::string readBytes(const std::wstring& path)
{
  std::string bytes;
  return readFile(path, bytes) ? bytes : "(missing)";
}

bool exists(const std::wstring& path)
{
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The settings in a folder of their own, its name not ASCII.
class ConfigFileTest : public ::testing::Test {
protected:
  void SetUp() override { _config.getSettings() = defaults(); }

  void writeFile(const std::string& bytes)
  {
    FILE* out = _wfopen(_path.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
  }

  TestFolder _tree;
  std::wstring _folder = _tree.folder(L"Jos\u00e9 \u65e5\u672c");
  std::wstring _path = joinPath(_folder, L"quorvelan.conf");
  ConfigFile _config{_folder};
};

}

TEST_F(ConfigFileTest, LoadTakesTheFileOrKeepsTheDefaults)
{
  wchar_t appData[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
  EXPECT_EQ(ConfigFile().getPath(), toUtf8(std::wstring(appData) + L"\\quorvelan.conf"));

  EXPECT_FALSE(_config.load());
  EXPECT_TRUE(_config.getSettings().equals(defaults()));

  const std::string corrupt[] = {
      "{port: 1025}", "", "[\"avi\"]", "null",
      std::string("\xff\xfe{\x00\"port\"", 9), std::string(100000, '['), "{\"port\":1025,\"folders\":[\"C:\\",
  };
  for (const std::string& text : corrupt) {
    SCOPED_TRACE(text.substr(0, 40));
    writeFile(text);
    EXPECT_TRUE(_config.load());
    EXPECT_TRUE(_config.getSettings().equals(defaults()));
  }

  writeFile("{\"port\":8080}");
  HANDLE locked = CreateFileW(_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(_config.load());
  CloseHandle(locked);
  EXPECT_TRUE(_config.getSettings().equals(defaults()));

  EXPECT_TRUE(_config.load());
  EXPECT_EQ(_config.getSettings().serialise(), "{\"port\":8080}") << "keys missing from the file stay absent";

  DeleteFileW(_path.c_str());
  CreateDirectoryW(_path.c_str(), nullptr);
  EXPECT_FALSE(_config.load());
}

TEST_F(ConfigFileTest, SaveThenLoadGivesTheSameSettings)
{
  json& settings = _config.getSettings();
  settings["folders"].push_back(toUtf8(L"D:\\\u00c9t\u00e9 \"2024\"\\\xd83c\xdfac"));
  writeFile("{\"port\":1}");
  ASSERT_TRUE(_config.save());
  EXPECT_EQ(readBytes(_path), settings.serialise());
  EXPECT_FALSE(exists(_path + L".new"));

  ConfigFile reloaded(_folder);
  EXPECT_TRUE(reloaded.load());
  EXPECT_TRUE(reloaded.getSettings().equals(settings));
}

TEST_F(ConfigFileTest, FailedSaveLeavesTheOldFileIntact)
{
  ASSERT_TRUE(_config.save());
  std::string saved = readBytes(_path);
  _config.getSettings()["port"] = 2000;

  // The temporary file cannot be made.
  CreateDirectoryW((_path + L".new").c_str(), nullptr);
  EXPECT_FALSE(_config.save());
  RemoveDirectoryW((_path + L".new").c_str());
  EXPECT_EQ(readBytes(_path), saved);

  // The old file is held open, so it cannot be replaced.
  HANDLE held = CreateFileW(_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(_config.save());
  CloseHandle(held);
  EXPECT_EQ(readBytes(_path), saved);
  EXPECT_FALSE(exists(_path + L".new"));
  EXPECT_EQ(_config.getSettings()["port"].getNumber(), 2000) << "memory keeps the change";
}
