#include "FileDatabase.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

TEST(FileDatabaseTest, FirstPathOfANameStaysAndLookupIsCaseSensitive)
{
  FileDatabase database;
  database.add(L"C:\\one\\film.avi", L"film.avi");
  database.add(L"D:\\two\\film.avi", L"film.avi");
  std::wstring path;
  EXPECT_TRUE(database.lookup(L"film.avi", path));
  EXPECT_EQ(path, L"C:\\one\\film.avi");
  EXPECT_FALSE(database.lookup(L"Film.avi", path));
  EXPECT_EQ(path, L"C:\\one\\film.avi") << "unchanged";
}

TEST(FileDatabaseTest, ListIsOrderedAndEscapedAndRemoveMissingKeepsWhatWasSeen)
{
  LogRecorder log;
  FileDatabase database;
  EXPECT_EQ(database.listJson(), "");
  database.add(L"C:\\b.avi", L"b.avi");
  database.add(L"C:\\a.mp4", L"a.mp4");
  database.add(L"C:\\x\\Caf\u00e9 \"live\".ts", L"Caf\u00e9 \"live\".ts");
  database.add(L"C:\\x\\B.avi", L"B.avi");
  EXPECT_EQ(database.listJson(), "\"B.avi\",\"Caf\\u00e9 \\\"live\\\".ts\",\"a.mp4\",\"b.avi\"");

  database.removeMissing({{L"b.avi", L"C:\\b.avi"}, {L"B.avi", L"C:\\y\\B.avi"}, {L"never added.avi", L"C:\\n.avi"}});
  EXPECT_EQ(database.listJson(), "\"B.avi\",\"b.avi\"");
  std::wstring path;
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
