#include "TagParser.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

namespace {

// "note" keeps text, "menu" and "box" only nest.
const DtdEntry TABLE[] = {{L"note", L"b", DTD_TEXT}, {L"menu", L"item", 0}, {L"box", L"note", 0}};

// A tree in one line: name(attributes)"text"[children].
std::wstring describe(const std::vector<CTag*>& tags)
{
  std::wstring out;
  for (const CTag* tag : tags) {
    out += (out.empty() ? L"" : L" ") + tag->name + L'(';
    for (const auto& attribute : tag->attributes)
      out += (out.back() == L'(' ? L"" : L" ") + attribute.first + L'=' + attribute.second;
    out += L')' + (tag->text.empty() ? L"" : L'"' + tag->text + L'"');
    out += tag->children.empty() ? L"" : L'[' + describe(tag->children) + L']';
  }
  return out;
}

class TagParserTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(_parser.setTagTable(TABLE, sizeof TABLE / sizeof TABLE[0])); }

  TagParser _parser;
};

}

TEST_F(TagParserTest, WellFormedTextsGiveTheirTrees)
{
  const struct {
    const wchar_t* text;
    const wchar_t* tree;
  } cases[] = {
      {L"<note a='1' b=\"2\" c=3>Hello</note><item>", L"note(a=1 b=2 c=3)\"Hello\" item()"},
      {L"<menu a='1'>Hello</menu><item>", L"menu(a=1) item()"},
      {L"<NOTE  Title = \"MiXed Case\"  X=\u00c9>\u00c9</Note>", L"note(title=MiXed Case x=\u00c9)\"\u00c9\""},
      // Blanks inside quotes stay, and so does the other kind of quote.
      {L"<item t=\" it's \" u='say \"hi\"'>", L"item(t= it's  u=say \"hi\")"},
      // Markup inside quotes is part of the value.
      {L"<item t=\"a<b>c\" u='</menu>'><item>", L"item(t=a<b>c u=</menu>) item()"},
      // A bare name keeps the value read before it and does not swallow the next name.
      {L"<item flag a=1 vertical b=2 Last >", L"item(a=1 b=2 flag= last=2 vertical=1)"},
      // Blanks before ">" store no nameless attribute.
      {L"<item a=\"x\" >", L"item(a=x)"},
      // Comments hold markup, end only at "-->" and add nothing.
      {L"<note>a<!-- <item> x > y --->b</note>", L"note()\"ab\""},
      // Leaves need no closing tag, and one closing a leaf is ignored.
      {L"<menu><item></item><menu><item></menu><item></menu><box></box>",
       L"menu()[item() menu()[item()] item()] box()"},
      {L"<box><note>x<b>y</note>z</box>", L"box()[note()\"xy\"[b()]]"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(_parser.parseString(c.text)) << c.text << L" " << _parser.getError();
    EXPECT_EQ(describe(_parser.getRootTags()), c.tree) << c.text;
    EXPECT_EQ(_parser.getError(), L"");
  }
}

TEST_F(TagParserTest, FaultsStopTheParseAndSayWhereAndWhy)
{
  const std::wstring value4095(MAX_ATTRIBUTE_VALUE, L'v');
  const struct {
    std::wstring text;
    const wchar_t* error;
    const wchar_t* tree;  // what was read before the fault
  } cases[] = {
      {L"<item a=\"" + value4095 + L"v\"><item>", L"line 1, column 4105: the value of \"a\" is longer than 4095", L""},
      {L"<item a=" + value4095 + L"v><item>", L"the value of \"a\" is longer than 4095", L""},
      {L"<" + std::wstring(34, L'n') + L">", L"column 35: a tag name longer than 33", L""},
      {L"<item " + std::wstring(32, L'n') + L"=1>", L"column 38: an attribute name longer than 31", L""},
      {L"<menu>\n<item>\n  <item a=\"x\" <item>", L"line 3, column 15: \"<\" inside a tag", L"menu()[item()]"},
      {L"<item a=1 =2>", L"\"=\" without an attribute name", L""},
      {L"<item", L"line 1, column 5: the input ends inside a tag", L""},
      {L"<item a=\"x>", L"the input ends inside a quoted value", L""},
      {L"<!-- x >", L"the input ends inside a comment", L""},
      {L"<menu><menu>\n", L"line 2, column 0: <menu> is not closed", L"menu()[menu()]"},
      {L"<menu></box></menu>", L"</box> inside <menu>", L"menu()"},
      {L"<item></menu>", L"</menu> closes nothing", L"item()"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(_parser.parseString(c.text.c_str())) << c.text;
    EXPECT_NE(_parser.getError().find(c.error), std::wstring::npos) << _parser.getError();
    EXPECT_EQ(describe(_parser.getRootTags()), c.tree) << c.text;
  }
  // At the limits themselves nothing fails.
  std::wstring limits = L"<" + std::wstring(MAX_TAG_NAME, L'n') + L" " + std::wstring(MAX_ATTRIBUTE_NAME, L'a') +
                        L"=\"" + value4095 + L"\">";
  for (unsigned depth = 0; depth < MAX_TAG_DEPTH; ++depth)
    limits = L"<menu>" + limits + L"</menu>";
  EXPECT_TRUE(_parser.parseString(limits.c_str())) << _parser.getError();
  EXPECT_FALSE(_parser.parseString((L"<menu>" + limits + L"</menu>").c_str()));
}

TEST_F(TagParserTest, FilesAreReadWithLineEndsAndAFailedOpenKeepsTheTree)
{
  TestFolder folder;
  std::wstring path = folder.file(L"app \u00e9.xml", "<menu>\r\n<item a=\"1\r\n2\">\r\n</menu>\r\n");
  ASSERT_TRUE(_parser.parseFile(path.c_str())) << _parser.getError();
  EXPECT_EQ(describe(_parser.getRootTags()), L"menu()[item(a=1\n2)]");

  EXPECT_FALSE(_parser.parseFile(folder.path(L"missing.xml").c_str()));
  EXPECT_EQ(_parser.getError(), L"cannot open the file");
  EXPECT_EQ(describe(_parser.getRootTags()), L"menu()[item(a=1\n2)]");

  path = folder.file(L"zero.xml", std::string("<menu>\n<item\0>", 14));
  EXPECT_FALSE(_parser.parseFile(path.c_str()));
  EXPECT_EQ(_parser.getError(), L"line 2, column 6: NUL character");
}
