#include "XmlApplication.h"

#include "StringUtil.h"
#include "TestFolder.h"
#include "WideChar.h"

#include <gtest/gtest.h>

TEST(XmlApplication, DescriptionsAreReadAsUtf8OrInTheAnsiCodePageAndNeverCut)
{
  TestFolder folder;
  const struct {
    std::string bytes;
    std::wstring name;
  } cases[] = {
      {"<application name=\"Vid\xc3\xa9o\"></application>", L"Vid\u00e9o"},
      {"\xef\xbb\xbf<application name=\"Vid\xc3\xa9o\"></application>", L"Vid\u00e9o"},
      {"<application name=\"Vid\xe9o\"></application>", WideFromAnsi("Vid\xe9o").get()},
  };
  for (const auto& c : cases) {
    XmlApplication application(GetModuleHandleW(nullptr), nullptr, nullptr);
    EXPECT_TRUE(application.load(folder.file(L"d.xml", c.bytes)));
    EXPECT_EQ(c.name, application.getName());
    EXPECT_EQ(L"", application.getError());  // a byte-order mark is no text
  }
  XmlApplication application(GetModuleHandleW(nullptr), nullptr, nullptr);
  EXPECT_FALSE(application.load(folder.file(L"big.xml", std::string(MAX_READ_FILE_SIZE + 1, ' '))));
  EXPECT_EQ(L"the file is larger than 1048576 bytes", application.getError());
}
