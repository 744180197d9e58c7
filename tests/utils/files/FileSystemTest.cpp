#include "FileSystem.h"
#include "StringUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

// Walking a tree is tested through the folder scan; here, folders that are not there.
TEST(FileSystemTest, MissingOrVanishedFoldersYieldNothing)
{
  TestFolder tree;
  FileSystem::RecursiveFileEnumerator walker(tree.path(L"nowhere\\").c_str());
  EXPECT_FALSE(walker.hasNext());

  // A directory gone between its listing and its walk ends the walk quietly.
  for (int round = 0; round < 20; ++round) {
    std::wstring sub = tree.folder(L"sub");
    FileSystem::RecursiveFileEnumerator vanishing(joinPath(tree.root(), L"").c_str());
    RemoveDirectoryW(sub.c_str());
    while (vanishing.hasNext()) {
      std::wstring name = vanishing.next().name();
      EXPECT_TRUE(name == L"." || name == L".." || name.empty()) << name;
    }
  }
}

namespace {

// Symbolic links to folders, which Wine shows as the folders themselves, as
// Windows shows junctions. They go before the tree is removed, which would
// otherwise follow them.
struct FolderLinks {
  bool made() const { return GetFileAttributesW(joinPath(folder, L"up").c_str()) != INVALID_FILE_ATTRIBUTES; }
  ~FolderLinks() { runUnixCommand(L"Z:\\bin\\rm", L"rm up beside", folder, [&] { return !made(); }); }

  std::wstring folder;
};

}

TEST(FileSystemTest, LinksBackIntoTheWalkAreNotFollowed)
{
  TestFolder tree;
  tree.file(L"a.avi");
  tree.file(L"sub\\b.avi");
  tree.file(L"other\\c.avi");
  FolderLinks links{tree.path(L"sub")};
  ASSERT_TRUE(runUnixCommand(L"Z:\\bin\\sh", L"sh -c \"ln -s ../other beside && ln -s .. up\"", links.folder,
                             [&] { return links.made(); }));
  std::multiset<std::wstring> names;
  FileSystem::RecursiveFileEnumerator walker(joinPath(tree.root(), L"").c_str());
  while (walker.hasNext() && names.size() < 100) {
    std::wstring name = walker.next().name();
    if (name != L"." && name != L".." && !name.empty())
      names.insert(name);
  }
  EXPECT_EQ(names, (std::multiset<std::wstring>{L"a.avi", L"b.avi", L"c.avi", L"c.avi"}))
      << "a link to a folder outside the walk is followed";
}
