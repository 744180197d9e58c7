#include "ConfigFile.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

  int filesInFolder()
  {
    FolderReader reader(_folder);
    int count = 0;
    for (std::wstring name; reader.next(name);)
      count += name != L"." && name != L"..";
    return count;
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
  // A leftover at the name that all saves once shared for their temporary
  // file stands in no save's way.
  CreateDirectoryW((_path + L".new").c_str(), nullptr);
  ASSERT_TRUE(_config.save());
  RemoveDirectoryW((_path + L".new").c_str());
  std::string saved = readBytes(_path);
  EXPECT_EQ(saved, _config.getSettings().serialise());
  _config.getSettings()["port"] = 2000;

  // The old file is held open, so it cannot be replaced.
  HANDLE held = CreateFileW(_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(_config.save());
  CloseHandle(held);
  EXPECT_EQ(readBytes(_path), saved);
  EXPECT_EQ(filesInFolder(), 1) << "no temporary file left";
  EXPECT_EQ(_config.getSettings()["port"].getNumber(), 2000) << "memory keeps the change";
}

// Two programs saving at once (two instances in one profile): the file holds
// one whole save, never one's text with the tail of the other's.
TEST_F(ConfigFileTest, SavesAtOnceLeaveOneWholeSave)
{
  ConfigFile other{_folder};
  _config.getSettings()["folders"] = std::string(300000, 'a');
  other.getSettings()["folders"] = std::string(100000, 'b');
  const std::string saves[] = {_config.getSettings().serialise(), other.getSettings().serialise()};
  ASSERT_TRUE(other.save());
  std::atomic<int> saving{2};
  auto saveMany = [&saving](ConfigFile* config) {
    for (int i = 0; i < 500; ++i)
      config->save();
    --saving;
  };
  std::thread first(saveMany, &_config), second(saveMany, &other);
  // A read that meets a replacement cannot open the file; one that can
  // must find a whole save.
  int reads = 0;
  std::string now = saves[1];
  for (; saving > 0 && (now == saves[0] || now == saves[1]); ++reads) {
    std::string read;
    if (readFileChecked(_path, read) == FileRead::DONE)
      now = read;
  }
  first.join();
  second.join();
  EXPECT_TRUE(now == saves[0] || now == saves[1]) << "read " << reads << ": " << now.size() << " bytes";
  now = readBytes(_path);
  EXPECT_TRUE(now == saves[0] || now == saves[1]) << "at the end: " << now.size() << " bytes";
  EXPECT_EQ(filesInFolder(), 1) << "no temporary file left";
}
