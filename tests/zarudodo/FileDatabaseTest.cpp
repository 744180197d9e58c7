#include "FileDatabase.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

TEST(FileDatabaseTest, FirstPathStaysListIsOrderedAndRemoveMissingKeepsWhatWasSeen)
{
  LogRecorder log;
  FileDatabase database;
  EXPECT_EQ(database.listJson(), "");
  database.add(L"C:\\b.avi", L"b.avi");
  database.add(L"D:\\b.avi", L"b.avi");
  database.add(L"C:\\a.mp4", L"a.mp4");
  database.add(L"C:\\x\\Caf\u00e9 \"live\".ts", L"Caf\u00e9 \"live\".ts");
  database.add(L"C:\\x\\B.avi", L"B.avi");
  EXPECT_EQ(database.listJson(), "\"B.avi\",\"Caf\\u00e9 \\\"live\\\".ts\",\"a.mp4\",\"b.avi\"");
  std::wstring path;
  EXPECT_TRUE(database.lookup(L"b.avi", path));
  EXPECT_EQ(path, L"C:\\b.avi") << "the first path of a name stays";
  EXPECT_FALSE(database.lookup(L"A.mp4", path)) << "names are case-sensitive";

  database.removeMissing({{L"b.avi", L"C:\\b.avi"}, {L"B.avi", L"C:\\y\\B.avi"}, {L"never added.avi", L"C:\\n.avi"}});
  EXPECT_EQ(database.listJson(), "\"B.avi\",\"b.avi\"");
  EXPECT_TRUE(database.lookup(L"B.avi", path));
  EXPECT_EQ(path, L"C:\\y\\B.avi") << "a name found elsewhere now is served from there";
  EXPECT_EQ(log.count("    Removed " + toUtf8(L"C:\\x\\Caf\u00e9 \"live\".ts")), 1) << "log lines carry UTF-8";
  database.removeMissing({});
  EXPECT_EQ(database.listJson(), "");
}

TEST(FileDatabaseTest, ListingWhileAddingSeesWholeEntries)
{
  FileDatabase database;
  const size_t COUNT = 2000;
  const size_t ENTRY = 12;  // "NNNNN.avi" with its quotes and a comma
  std::thread adder([&database] {
    for (size_t i = 0; i < COUNT; ++i) {
      std::wstring name = std::to_wstring(10000 + i) + L".avi";
      database.add(L"C:\\v\\" + name, name);
    }
  });
  size_t longest = 0;
  bool whole = true;
  while (whole && longest < COUNT * ENTRY - 1) {
    std::string list = database.listJson();
    whole = list.empty() || (list.size() + 1) % ENTRY == 0;
    longest = std::max(longest, list.size());
  }
  adder.join();
  EXPECT_TRUE(whole);
}
