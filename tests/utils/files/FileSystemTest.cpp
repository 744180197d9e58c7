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
  EXPECT_EQ(walker.next().name(), L"");
  FileSystem::FileEnumerator level(tree.path(L"nowhere\\").c_str());
  EXPECT_FALSE(level.hasNext());
  EXPECT_THROW(level.next(), FileSystem::Exception);

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

TEST(FileSystemTest, FileFromPathAndItsOperations)
{
  TestFolder tree;
  std::wstring path = tree.file(L"Movie.Final.MP4", "data");
  FileSystem::File file(path.c_str());
  EXPECT_TRUE(file.exists());
  EXPECT_EQ(file.name(), L"Movie.Final.MP4");
  EXPECT_EQ(file.directory(), tree.root());
  EXPECT_EQ(file.extension(), L"MP4");
  EXPECT_FALSE(file.isDirectory());

  // The directory of a File made from a path has no trailing backslash;
  // removing must still name the file itself, read-only or not.
  file.setReadOnly(true);
  EXPECT_TRUE(file.isReadOnly());
  EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  file.remove();
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

  FileSystem::File missing(tree.path(L"none.avi").c_str());
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(missing.extension(), L"");

  std::wstring listed = tree.file(L"sub\\listed.ts");
  WIN32_FIND_DATAW data = {};
  wcscpy(data.cFileName, L"listed.ts");
  FileSystem::File(data, tree.path(L"sub\\")).remove();
  EXPECT_EQ(GetFileAttributesW(listed.c_str()), INVALID_FILE_ATTRIBUTES);
}

namespace {

// Symbolic links to folders, which Wine shows as the folders themselves, as
// Windows shows junctions. They go before the folder is removed, which would
// otherwise follow them.
class FolderLinks {
public:
  explicit FolderLinks(const std::wstring& folder) : _folder(folder) {}
  ~FolderLinks()
  {
    for (const std::wstring& name : _names)
      runUnixCommand(L"Z:\\bin\\rm", L"rm " + name, _folder, [&] { return !exists(name); });
  }

  bool add(const std::wstring& name, const std::wstring& target)
  {
    _names.push_back(name);
    return runUnixCommand(L"Z:\\bin\\ln", L"ln -s " + target + L" " + name, _folder, [&] { return exists(name); });
  }

private:
  bool exists(const std::wstring& name) const
  {
    return GetFileAttributesW(joinPath(_folder, name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::wstring _folder;
  std::vector<std::wstring> _names;
};

}

TEST(FileSystemTest, LinksBackIntoTheWalkAreNotFollowed)
{
  TestFolder tree;
  tree.file(L"a.avi");
  tree.file(L"sub\\b.avi");
  tree.file(L"other\\c.avi");
  FolderLinks links(tree.path(L"sub"));
  ASSERT_TRUE(links.add(L"up", L".."));
  ASSERT_TRUE(links.add(L"beside", L"../other"));
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
