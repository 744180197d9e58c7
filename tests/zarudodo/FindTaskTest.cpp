#include "FileDatabase.h"
#include "FindTask.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

class ProbedFindTask : public FindTask {
public:
  ProbedFindTask() : FindTask(nullptr) {}
  bool abortRequested() const { return _abortRequested; }
};

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

  size_t lineAt(const std::string& text, size_t after = 0)
  {
    auto lines = _log.lines();
    return std::find(lines.begin() + std::min(after, lines.size()), lines.end(), text) - lines.begin();
  }

  TestFolder _tree;
  LogRecorder _log;
  FileDatabase _database;
};

}

TEST_F(FindTaskTest, FindsVideosThroughoutTheTree)
{
  std::wstring beach = _tree.file(L"Films\\Holiday 2019\\beach day.avi");
  std::wstring japanese = _tree.file(L"Films\\\u00c9t\u00e9\\\u65e5\u672c \u00e9.mp4");
  _tree.file(L"Films\\MOVIE.AVI");
  _tree.file(L"Films\\notes.txt");
  std::wstring clip = _tree.file(L"Films\\clip.m.ts");
  std::wstring inner = _tree.file(L"Films\\folder.avi\\inner.mp4");
  std::wstring dupA = _tree.file(L"Films\\a\\dup.mp4");
  std::wstring dupB = _tree.file(L"Films\\b\\dup.mp4");
  _tree.file(L"Other\\beach day.avi");
  _tree.file(L"Other\\other.ts");
  _tree.folder(L"Other\\empty");

  ProbedFindTask task;
  scan(task, params({_tree.path(L"Films"), _tree.path(L"Other\\"), _tree.path(L"Missing")}));
  EXPECT_EQ(_database.listJson(), "\"beach day.avi\",\"clip.m.ts\",\"dup.mp4\",\"inner.mp4\",\"other.ts\","
                                  "\"\\u65e5\\u672c \\u00e9.mp4\"")
      << "extensions match case-sensitively; a folder named like a video is entered";
  EXPECT_EQ(lookup(L"beach day.avi"), beach) << "the first path of a name stays";
  EXPECT_EQ(lookup(L"\u65e5\u672c \u00e9.mp4"), japanese);
  EXPECT_EQ(lookup(L"clip.m.ts"), clip);
  EXPECT_EQ(lookup(L"inner.mp4"), inner);
  EXPECT_TRUE(lookup(L"dup.mp4") == dupA || lookup(L"dup.mp4") == dupB);
  EXPECT_TRUE(task.isDone());
}

TEST_F(FindTaskTest, RescanRemovesWhatHasGoneAndMovesWhatIsFoundElsewhere)
{
  std::wstring gone = _tree.file(L"v\\sub dir\\gone.avi");
  _tree.file(L"v\\kept.avi");
  std::wstring dupV = _tree.file(L"v\\dup.mp4");
  std::wstring dupW = _tree.file(L"w\\dup.mp4");
  ProbedFindTask task;
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

  scan(task, params({}));
  EXPECT_EQ(_database.listJson(), "");
}

// A restart while a scan runs aborts it, and the aborted scan removes
// nothing; the new scan runs to its end and does.
TEST_F(FindTaskTest, RestartAbortsAndJoinsTheRunningScan)
{
  _database.add(L"C:\\old\\gone.avi", L"gone.avi");
  for (int i = 0; i < 20; ++i)
    _tree.file(L"v\\" + std::to_wstring(i) + L".avi");
  ProbedFindTask task;
  std::atomic<bool> release{false}, held{false};
  _log.hook = [&](const std::string& line) {
    if (line.compare(0, 11, "    Adding ") == 0 && !held.exchange(true)) {
      while (!release)
        Sleep(1);
    }
  };
  FindParams folders = params({_tree.path(L"v")});
  task.start(folders);
  while (!held)
    Sleep(1);
  std::thread restarter([&] { task.start(folders); });
  while (!task.abortRequested())
    Sleep(1);
  release = true;
  restarter.join();
  task.join();
  _log.hook = nullptr;

  size_t secondRun = lineAt("Running findTask", lineAt("Running findTask") + 1);
  EXPECT_LT(lineAt("Aborting file find as requested."), secondRun);
  EXPECT_GT(lineAt("    Removed C:\\old\\gone.avi"), secondRun);
  EXPECT_EQ(_log.count("Done searching!\n"), 1);
  EXPECT_EQ(_log.lines().back(), "Done searching!\n");
  EXPECT_EQ(_database.listJson().size(), 20 * 8 + 10 * 1 - 1);  // "N.avi" or "NN.avi", quoted, commas
}

TEST_F(FindTaskTest, RapidRestartsAndDeletesLeaveNoThreadBehind)
{
  for (int i = 0; i < 200; ++i)
    _tree.file(L"v\\d" + std::to_wstring(i % 10) + L"\\" + std::to_wstring(i) + L".mp4");
  FindParams folders = params({_tree.path(L"v")});
  int before = countThreads();
  {
    ProbedFindTask task;
    for (int i = 0; i < 100; ++i)
      task.start(folders);
    task.join();
    EXPECT_EQ(_log.lines().back(), "Done searching!\n");
  }
  EXPECT_EQ(_log.count("Running findTask"), 100);
  // Deleting a scan that may still be starting is safe.
  for (int i = 0; i < 300; ++i) {
    FindTask* task = new FindTask(nullptr);
    task->start(folders);
    delete task;
  }
  EXPECT_EQ(countThreads(), before);
  EXPECT_EQ(_log.count("Running findTask"),
            _log.count("Aborting file find as requested.") + _log.count("Done searching!\n"))
      << "every body that began has ended";
}
