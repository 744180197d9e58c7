// Damaged descriptions by the hundred: each must give a tree without a
// crash, a read past its end (the texts end at the edge of a readable page)
// or a damaged heap block, and each warning must say where.
#include "TagParser.h"

#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const DtdEntry TABLE[] = {{L"application", L"", 0}, {L"framewindow", L"", 0}, {L"menu", L"", 0}, {L"splitter", L"", 0}};

const wchar_t DESCRIPTION[] =
    L"<application name=\"Vid\u00e9o Player\" version='1.5'>\n  <!-- the main window: <framewindow -->\n"
    L"  <framewindow title=\"Player \u65e5\" size=640x480 ondropfile=\"open '%s'\">\n    <menu>\n"
    L"      <menuitem text=\"&Open...\" onclick=open>\n      <menubar>\n    </menu>\n"
    L"    <splitter pane1=200 vertical>\n      <window type=list setfocus>\n    </splitter>\n"
    L"  </framewindow>\n</application>";

const wchar_t MARKUP[] = L"<>\"'=/!- \n\tamenu\u00e9";

}

TEST(TagParserCorpusTest, DamagedDescriptionsGiveTreesAndSayWhatTheyDrop)
{
  TagParser parser;
  parser.setTagTable(TABLE, sizeof TABLE / sizeof TABLE[0]);
  PageEdge edge;
  int texts = 0, warned = 0;
  auto parse = [&](const std::wstring& text) {
    EXPECT_TRUE(parser.parseString(edge.placeText(text)));
    texts++;
    warned += !parser.getError().empty();
    EXPECT_TRUE(parser.getError().empty() || parser.getError().substr(0, 5) == L"line ") << parser.getError();
  };
  std::wstring description = DESCRIPTION;
  for (size_t length = 1; length <= description.size(); ++length)
    parse(description.substr(0, length));

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
  parser.parseString(deep.c_str());
  unsigned depth = 0;
  for (const std::vector<CTag*>* level = &parser.getRootTags(); !level->empty(); level = &level->front()->children)
    depth++;
  EXPECT_EQ(MAX_TAG_DEPTH + 1, depth);
  printf("corpus: %d texts, each a tree; %d with warnings\n", texts, warned);
}
