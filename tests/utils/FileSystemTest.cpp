#include "FileSystem.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::wstring directory;
  std::wstring name;
};

std::vector<Entry> walk(const std::wstring& folder)
{
  std::vector<Entry> entries;
  FileSystem::RecursiveFileEnumerator walker(joinPath(folder, L"").c_str());
  while (walker.hasNext()) {
    FileSystem::File entry = walker.next();
    entries.push_back({entry.directory(), entry.name()});
  }
  return entries;
}

// Names seen per directory, relative to the tree's root.
std::map<std::wstring, std::multiset<std::wstring>> byDirectory(const std::vector<Entry>& entries,
                                                                const TestFolder& tree)
{
  std::map<std::wstring, std::multiset<std::wstring>> result;
  for (const Entry& entry : entries)
    result[entry.directory.substr(tree.root().size())].insert(entry.name);
  return result;
}

}

TEST(FileSystemTest, WalkEntersDirectoriesAndYieldsTheirDotEntries)
{
  TestFolder tree;
  tree.file(L"a.avi");
  tree.file(L"b.avi");
  tree.file(L"s\\c.avi");
  tree.file(L"s\\deep er\\d \u00e9.avi");
  tree.folder(L"empty");

  std::vector<Entry> entries = walk(tree.root());
  auto seen = byDirectory(entries, tree);
  using Names = std::multiset<std::wstring>;
  EXPECT_EQ(seen[L"\\"], (Names{L".", L"..", L"a.avi", L"b.avi"}));
  EXPECT_EQ(seen[L"\\s\\"], (Names{L".", L"..", L"c.avi"}));
  EXPECT_EQ(seen[L"\\s\\deep er\\"], (Names{L".", L"..", L"d \u00e9.avi"}));
  EXPECT_EQ(seen[L"\\empty\\"], (Names{L".", L".."}));
  EXPECT_EQ(seen.size(), 4u);

  // Depth first: everything under s comes in one stretch.
  size_t first = entries.size(), last = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].directory.find(L"\\s\\") != std::wstring::npos) {
      first = std::min(first, i);
      last = i;
    }
  }
  EXPECT_EQ(last - first + 1, 6u);
}

TEST(FileSystemTest, MissingStartFolderYieldsNothing)
{
  TestFolder tree;
  FileSystem::RecursiveFileEnumerator walker(tree.path(L"nowhere\\").c_str());
  EXPECT_FALSE(walker.hasNext());
  EXPECT_EQ(walker.next().name(), L"");
  EXPECT_FALSE(walker.hasNext());

  FileSystem::FileEnumerator level(tree.path(L"nowhere\\").c_str());
  EXPECT_FALSE(level.hasNext());
  EXPECT_THROW(level.next(), FileSystem::Exception);
}

TEST(FileSystemTest, DirectoryGoneBeforeItIsEnteredEndsTheWalkQuietly)
{
  for (int round = 0; round < 20; ++round) {
    TestFolder tree;
    std::wstring sub = tree.folder(L"sub");
    FileSystem::RecursiveFileEnumerator walker(joinPath(tree.root(), L"").c_str());
    RemoveDirectoryW(sub.c_str());
    std::vector<std::wstring> names;
    while (walker.hasNext())
      names.push_back(walker.next().name());
    for (const std::wstring& name : names)
      EXPECT_TRUE(name == L"." || name == L".." || name.empty());
    EXPECT_FALSE(walker.hasNext());
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
  // removing must still name the file itself.
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
  FileSystem::File fromSearch(data, tree.path(L"sub\\"));
  fromSearch.remove();
  EXPECT_EQ(GetFileAttributesW(listed.c_str()), INVALID_FILE_ATTRIBUTES);
}
