#include "FileDatabase.h"
#include "FindTask.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>


namespace {

class FindTaskTest : public ::testing::Test {
protected:
  FindParams params(const std::vector<std::wstring>& folders)
  {
    FindParams result;
    result.database = &_database;
    result.patterns = {L".avi", L".mp4", L".ts", L".m.ts"};
    result.folders = folders;
    return result;
  }

  void scan(FindTask& task, const FindParams& params)
  {
    ASSERT_TRUE(task.start(params));
    task.join();
  }

  std::wstring lookup(const std::wstring& name)
  {
    std::wstring path;
    _database.lookup(name, path);
    return path;
  }

  TestFolder _tree;
  FileDatabase _database;
};

}

TEST_F(FindTaskTest, FindsVideosThroughoutTheTree)
{
  _tree.file(L"Films\\Holiday 2019\\beach day.avi");
  std::wstring japanese = _tree.file(L"Films\\\u00c9t\u00e9\\\u65e5\u672c \u00e9.mp4");
  _tree.file(L"Films\\MOVIE.AVI");
  _tree.file(L"Films\\clip.m.ts");
  _tree.file(L"Films\\folder.avi\\inner.mp4");
  _tree.file(L"Other\\other.ts");

  FindTask task(nullptr);
  scan(task, params({_tree.path(L"Films"), _tree.path(L"Other\\"), _tree.path(L"Missing")}));
  EXPECT_EQ(_database.listJson(), "\"beach day.avi\",\"clip.m.ts\",\"inner.mp4\",\"other.ts\","
                                  "\"\\u65e5\\u672c \\u00e9.mp4\"")
      << "extensions match case-sensitively; a folder named like a video is entered";
  EXPECT_EQ(lookup(L"\u65e5\u672c \u00e9.mp4"), japanese);
}

TEST_F(FindTaskTest, RescanRemovesWhatHasGoneAndMovesWhatIsFoundElsewhere)
{
  std::wstring gone = _tree.file(L"v\\sub dir\\gone.avi");
  _tree.file(L"v\\kept.avi");
  std::wstring dupV = _tree.file(L"v\\dup.mp4");
  std::wstring dupW = _tree.file(L"w\\dup.mp4");
  FindTask task(nullptr);
  FindParams folders = params({_tree.path(L"v"), _tree.path(L"w")});
  scan(task, folders);
  EXPECT_EQ(_database.listJson(), "\"dup.mp4\",\"gone.avi\",\"kept.avi\"");
  EXPECT_EQ(lookup(L"dup.mp4"), dupV);

  DeleteFileW(gone.c_str());
  _tree.file(L"v\\new.mp4");
  scan(task, folders);
  EXPECT_EQ(_database.listJson(), "\"dup.mp4\",\"kept.avi\",\"new.mp4\"");

  scan(task, params({_tree.path(L"w")}));
  EXPECT_EQ(lookup(L"dup.mp4"), dupW) << "the folder no longer searched serves nothing";
  DeleteFileW(dupW.c_str());
  scan(task, params({_tree.path(L"w"), _tree.path(L"v")}));
  EXPECT_EQ(lookup(L"dup.mp4"), dupV) << "a file gone is replaced by the one found now";

  // kept.avi moves from v to w; past w, a request finds its old file gone.
  DeleteFileW(_tree.path(L"v\\kept.avi").c_str());
  std::wstring keptW = _tree.file(L"w\\kept.avi");
  LogRecorder log;
  log.hook = [&](const std::string& line) {
    if (line == " Search for videos in: " + toUtf8(_tree.path(L"v")))
      _database.remove(L"kept.avi");
  };
  scan(task, params({_tree.path(L"w"), _tree.path(L"v")}));
  EXPECT_EQ(lookup(L"kept.avi"), keptW) << "listed again at the end of the walk";

  scan(task, params({}));
  EXPECT_EQ(_database.listJson(), "");
}

TEST_F(FindTaskTest, RapidRestartsAndDeletesLeaveNoThreadBehind)
{
  for (int i = 0; i < 200; ++i)
    _tree.file(L"v\\d" + std::to_wstring(i % 10) + L"\\" + std::to_wstring(i) + L".mp4");
  FindParams folders = params({_tree.path(L"v")});
  int before = countThreads();
  // Deleting a scan that may still be starting is safe.
  for (int i = 0; i < 300; ++i) {
    FindTask* task = new FindTask(nullptr);
    task->start(folders);
    delete task;
  }
  EXPECT_EQ(countThreads(), before);
}
