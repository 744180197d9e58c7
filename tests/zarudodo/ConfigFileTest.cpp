#include "ConfigFile.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

json defaults()
{
  return json::parse("{\"port\":1025,\"extensions\":[\"avi\"],\"folders\":[\"C:\\\\Vid\u00e9os\"]}");
}

std::string readBytes(const std::wstring& path)
{
  std::string bytes;
  return readFile(path, bytes) ? bytes : "(missing)";
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
  EXPECT_FALSE(_config.load());
  EXPECT_TRUE(_config.getSettings().equals(defaults()));

  for (const char* text : {"{port: 1025}", "", "[\"avi\"]"}) {
    SCOPED_TRACE(text);
    writeFile(text);
    EXPECT_TRUE(_config.load());
    EXPECT_TRUE(_config.getSettings().equals(defaults()));
  }

  writeFile("{\"port\":8080}");
  EXPECT_TRUE(_config.load());
  EXPECT_EQ(_config.getSettings().serialise(), "{\"port\":8080}") << "keys missing from the file stay absent";

  writeFile("\xEF\xBB\xBF{\"port\":8081}");
  EXPECT_TRUE(_config.load());
  EXPECT_EQ(_config.getSettings().serialise(), "{\"port\":8081}") << "as an editor saves it, with a byte-order mark";
}

TEST_F(ConfigFileTest, FailedSaveLeavesTheOldFileIntact)
{
  writeFile("{\"port\":1}");
  ASSERT_TRUE(_config.save());
  std::string saved = readBytes(_path);
  EXPECT_EQ(saved, _config.getSettings().serialise());
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
  EXPECT_EQ(GetFileAttributesW((_path + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(_config.getSettings()["port"].getNumber(), 2000) << "memory keeps the change";
}
