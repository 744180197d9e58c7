#include "XmlSample.h"

#include "StringUtil.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

// A save that cannot complete (its temporary file cannot be made, as on a
// full disk) leaves the settings saved before whole.
TEST(XmlSample, FailedSaveLeavesTheOldSettingsWhole)
{
  TestFolder folder;
  std::wstring path = folder.path(L"xml-sample.settings");
  XmlSample sample(GetModuleHandleW(nullptr), path);
  sample.onCommand(L"wrap");
  sample.onCommand(L"save-settings");
  const std::wstring saved = L"speed: 1x\nwrap: on\n";
  std::wstring text;
  EXPECT_TRUE(readFileWide(path, text));
  EXPECT_EQ(saved, text);

  // A name so long that no temporary file's name beside it can be made.
  std::wstring longPath = folder.path(std::wstring(252, L's'));
  ASSERT_TRUE(CopyFileW(path.c_str(), longPath.c_str(), FALSE));
  XmlSample other(GetModuleHandleW(nullptr), longPath);  // its settings the defaults
  other.onCommand(L"save-settings");
  EXPECT_TRUE(readFileWide(longPath, text));
  EXPECT_EQ(saved, text);
}
