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
  bool made() const { return GetFileAttributesW(joinPath(folder, last).c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool make(const std::wstring& command) const
  {
    return runUnixCommand(L"Z:\\bin\\sh", L"sh -c \"" + command + L"\"", folder, [&] { return made(); });
  }
  ~FolderLinks() { runUnixCommand(L"Z:\\bin\\sh", L"sh -c \"rm " + names + L"\"", folder, [&] { return !made(); }); }

  std::wstring folder, last, names;
};

// The names of files met, "." and ".." left out, until the walk ends or has
// returned limit entries.
std::multiset<std::wstring> walkNames(FileSystem::RecursiveFileEnumerator& walker, int limit = 100)
{
  std::multiset<std::wstring> names;
  for (int entries = 0; walker.hasNext() && entries < limit; ++entries) {
    std::wstring name = walker.next().name();
    if (name != L"." && name != L".." && !name.empty())
      names.insert(name);
  }
  return names;
}

}

TEST(FileSystemTest, LinksBackIntoTheWalkAreNotFollowed)
{
  TestFolder tree;
  tree.file(L"a.avi");
  tree.file(L"sub\\b.avi");
  tree.file(L"other\\c.avi");
  FolderLinks links{tree.path(L"sub"), L"up", L"up beside"};
  ASSERT_TRUE(links.make(L"ln -s ../other beside && ln -s .. up"));
  FileSystem::RecursiveFileEnumerator walker(joinPath(tree.root(), L"").c_str());
  EXPECT_EQ(walkNames(walker), (std::multiset<std::wstring>{L"a.avi", L"b.avi", L"c.avi"}));

  // Each level holds two links to the next: walked once a link, the last
  // level would be walked 2^20 times.
  tree.file(L"chain\\20\\bottom.avi");
  FolderLinks chain{tree.path(L"chain"), L"19\\b", L"*/a */b"};
  ASSERT_TRUE(chain.make(L"for i in $(seq 0 19); do mkdir -p $i && ln -s ../$((i+1)) $i/a && ln -s ../$((i+1)) $i/b; done"));
  FileSystem::RecursiveFileEnumerator chainWalker(joinPath(chain.folder, L"0\\").c_str());
  EXPECT_EQ(walkNames(chainWalker, 1000), std::multiset<std::wstring>{L"bottom.avi"});
  EXPECT_FALSE(chainWalker.hasNext()) << "the walk goes on past 1000 entries";
  chainWalker.add(joinPath(chain.folder, L"10\\").c_str());
  EXPECT_FALSE(chainWalker.hasNext()) << "a folder walked already is walked again as a later tree";
}
