#include "FileSystem.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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
