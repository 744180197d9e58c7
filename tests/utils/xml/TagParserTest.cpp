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

// The rules' edge cases, each with its tree and the warning it gives ("" for
// none); the texts that the rules keep from becoming a tree are read anyway.
TEST_F(TagParserTest, EveryTextGivesTheTreeOfTheRulesWithAWarningForWhatTheyDrop)
{
  const struct {
    std::wstring text;
    const wchar_t* tree;
    const wchar_t* warning;
  } cases[] = {
      // Quotes of both kinds and none; the closing tag makes the root current.
      {L"<note a='1' b=\"2\" c=3>Hello</note><item>", L"note(a=1 b=2 c=3)\"Hello\" item()", L""},
      {L"<menu a='1'>Hello</menu><item>", L"menu(a=1) item()", L"line 1, column 13: text where no tag keeps"},
      {L"<thing>Hello</thing><item>", L"thing() item()", L"column 20: </thing> is ignored: no container is open"},
      {L"<NOTE  Title = \"MiXed Case\"  X=\u00c9>\u00c9</Note>", L"note(title=MiXed Case x=\u00c9)\"\u00c9\"", L""},
      // Inside quotes the other quote, blanks and markup are the value's.
      {L"<item t=\" it's \" u='</menu>' v=\"a<b>\">", L"item(t= it's  u=</menu> v=a<b>)", L""},
      // A bare word takes the last value read, as typed; a name runs to "=".
      {L"<item a=1 Flag>", L"item(Flag=1 a=1)", L""},
      {L"<item flag a=1>", L"item(flag a=1)", L""},
      // Blanks before ">" make no attribute, nor does a value without a name.
      {L"<item a=\"x\" >", L"item(a=x)", L""},
      {L"<item a=1  =2>", L"item(a=1)", L"column 14: a value without an attribute name is dropped"},
      // A comment is read as text up to the first ">"; "<" in it starts no tag.
      {L"<note>a<!-- b <c>d</note>", L"note()\"ab <cd\"", L""},
      {L"<!-- <menu> --><item>", L"item()", L"column 15: \">\" outside a tag is ignored"},
      {L"<note><!--x-->y</note>", L"note()\"y\"[!--x--()]", L""},
      {L"<item/><note a=1/>x</note><item b/>", L"item/() note(a=1/)\"x\" item(b/=)", L""},
      // Abandoned tags: their rest up to ">" is text.
      {L"<note><" + std::wstring(34, L'n') + L" a=1>x</note>", L"note()\" a=1x\"",
       L"column 41: the tag <nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn> is abandoned: its name reaches 33"},
      {L"<item a=1 =2><box>", L"box()", L"column 11: the tag <item> is abandoned: \"=\" without an attribute name"},
      {L"<menu>\n<item a=\"x\" <item b>", L"menu()[item(b=)]", L"line 2, column 13: the tag <item> is abandoned: \"<\" inside"},
      // Closing tags: of the current container, or ignored.
      {L"<menu><box></menu><item></box><item>", L"menu()[box()[item()] item()]", L"column 18: </menu> is ignored: <box> is open"},
      // The end of the input.
      {L"<menu><item a=1", L"menu()[item()]", L"column 15: the input ends inside the tag <item>, which is kept without"},
      {L"<menu>\n", L"menu()", L"line 2, column 0: the input ends with <menu> open"},
      {L"<!-- x", L"", L"the input ends inside a comment"},
      // Warnings beyond the first hundred are counted.
      {std::wstring(MAX_WARNINGS + 2, L'>'), L"", L"column 100: \">\" outside a tag is ignored\nand 2 more"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(_parser.parseString(c.text.c_str()));
    EXPECT_EQ(c.tree, describe(_parser.getRootTags())) << c.text;
    const std::wstring& warnings = _parser.getError();
    EXPECT_TRUE(*c.warning ? warnings.find(c.warning) != std::wstring::npos : warnings.empty()) << c.text << L": " << warnings;
  }
}

// A name or value may fill its limit when ">" follows; any other character
// finds it full: a blank abandons the tag, "=" drops the attribute's name and
// a closing quote its value, and what follows is read afresh.
TEST_F(TagParserTest, LimitsKeepWhatFitsAndDropWhatGoesBeyond)
{
  const std::wstring value(MAX_ATTRIBUTE_VALUE, L'v'), name(MAX_ATTRIBUTE_NAME, L'a');
  const std::wstring tag(MAX_TAG_NAME, L'n');
  const std::wstring shortTag = tag.substr(1), shortName = name.substr(1), shortValue = value.substr(1);
  const struct {
    std::wstring text;
    std::wstring tree;
    std::wstring warning;
  } cases[] = {
      {L"<" + shortTag + L" " + shortName + L"=\"" + shortValue + L"\">",
       shortTag + L"(" + shortName + L"=" + shortValue + L")", L""},
      {L"<" + tag + L"><item " + name + L"><item a=" + value + L">", tag + L"() item(" + name + L"=) item(a=" + value + L")", L""},
      {L"<" + tag + L" a=1><item>", L"item()", L"column 35: the tag <" + tag + L"> is abandoned: its name reaches 33"},
      {L"<item " + name + L"= b=2>", L"item(b=2)", L"column 38: an attribute name reaches 31 characters"},
      {L"<item a=\"" + value + L"\" b=2>", L"item(b=2)", L"column 4105: the value of \"a\" reaches 4095 characters"},
  };
  for (const auto& c : cases) {
    _parser.parseString(c.text.c_str());
    EXPECT_EQ(c.tree, describe(_parser.getRootTags()));
    const std::wstring& warnings = _parser.getError();
    EXPECT_TRUE(c.warning.empty() ? warnings.empty() : warnings.find(c.warning) != std::wstring::npos) << warnings;
  }
}

TEST_F(TagParserTest, FilesAreReadWithLineEndsAndAFailedOpenKeepsTheTree)
{
  TestFolder folder;
  const char TEXT[] = "<menu>\r\n<item a=\"1\r\n2\">\0\r\n</menu>\r\n";
  std::wstring path = folder.file(L"app \u00e9.xml", std::string(TEXT, sizeof TEXT - 1));
  EXPECT_TRUE(_parser.parseFile(path.c_str()));
  EXPECT_EQ(L"menu()[item(a=1\n2)]", describe(_parser.getRootTags()));
  EXPECT_EQ(L"line 3, column 4: a NUL character is ignored", _parser.getError());

  EXPECT_FALSE(_parser.parseFile(folder.path(L"missing.xml").c_str()));
  EXPECT_EQ(L"menu()[item(a=1\n2)]", describe(_parser.getRootTags()));
}
