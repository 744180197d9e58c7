// Damaged descriptions by the hundred: each must parse without a crash, a
// read past its end (the texts end at the edge of a readable page) or a
// damaged heap block, and a failed parse must say where.
#include "TagParser.h"

#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const DtdEntry TABLE[] = {{L"application", L"", 0}, {L"framewindow", L"", 0}, {L"menu", L"", 0}, {L"splitter", L"", 0}};

const wchar_t DESCRIPTION[] =
    L"<application name=\"Vid\u00e9o Player\" version='1.5'>\n  <!-- the main window: <framewindow> -->\n"
    L"  <framewindow title=\"Player \u65e5\" size=640x480 ondropfile=\"open '%s'\">\n    <menu>\n"
    L"      <menuitem text=\"&Open...\" onclick=open>\n      <menubar>\n    </menu>\n"
    L"    <splitter pane1=200 vertical>\n      <window type=list setfocus>\n    </splitter>\n"
    L"  </framewindow>\n</application>";

const wchar_t MARKUP[] = L"<>\"'=/!- \n\tamenu\u00e9";

}

TEST(TagParserCorpusTest, DamagedDescriptionsFailCleanly)
{
  TagParser parser;
  parser.setTagTable(TABLE, sizeof TABLE / sizeof TABLE[0]);
  PageEdge edge;
  auto parse = [&](const std::wstring& text) {
    bool parsed = parser.parseString(edge.placeText(text));
    if (!parsed)
      EXPECT_EQ(L"line ", parser.getError().substr(0, 5)) << parser.getError();
    return parsed;
  };
  std::wstring description = DESCRIPTION;
  ASSERT_TRUE(parse(description));

  // Cut at every position: no shorter text is a whole description.
  for (size_t length = 1; length < description.size(); ++length)
    EXPECT_FALSE(parse(description.substr(0, length))) << length;

  std::mt19937 random(20);
  for (int i = 0; i < 700; ++i) {
    std::wstring damaged = description;
    for (int changes = 1 + random() % 4; changes > 0; --changes)
      damaged[random() % damaged.size()] = MARKUP[random() % (sizeof MARKUP / sizeof MARKUP[0] - 1)];
    parse(damaged);
  }

  std::wstring deep;
  for (size_t i = 0; i < 100000; ++i)
    deep += L"<menu>";
  EXPECT_FALSE(parser.parseString(deep.c_str()));
}
