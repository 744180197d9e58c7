// Damaged descriptions by the thousand: each must parse without a crash, a
// read past its end (short texts end at the edge of a readable page) or a
// damaged heap block, and a failed parse must say where and why.
#include "TagParser.h"

#include "TestSupport.h"
#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The containers of the application framework's table.
const DtdEntry TABLE[] = {
    {L"application", L"", 0}, {L"framewindow", L"", 0}, {L"menu", L"", 0}, {L"buttonbar", L"", 0},
    {L"splitter", L"", 0}, {L"titledwindow", L"", 0}, {L"trayicon", L"", 0}, {L"install", L"", 0},
    {L"filetype", L"", 0},
};

const wchar_t DESCRIPTION[] =
    L"<application name=\"Vid\u00e9o Player\" version='1.5'>\n  <!-- the main window: <framewindow> -->\n"
    L"  <framewindow name=main title=\"Player \u65e5\" size=\"640x480\" ondropfile=\"open '%s'\">\n"
    L"    <menu>\n      <menu text=\"&File\">\n        <menuitem text=\"&Open...\" onclick=open>\n"
    L"        <menubar>\n      </menu>\n    </menu>\n    <buttonbar height=24 bgcolour=\"#c0c0c0\">\n"
    L"      <button out=PLAY onclick=\"play\">\n    </buttonbar>\n    <splitter pane1=200 vertical>\n"
    L"      <titledwindow title=\"Files\" onclose=\"hide files\">\n        <window type=list setfocus>\n"
    L"      </titledwindow>\n      <window type=richedit font=\"Courier New:12\">\n    </splitter>\n"
    L"  </framewindow>\n  <install>\n    <filetype extension=\".mkv\">\n"
    L"      <action name=open command='\"%1\"' default>\n    </filetype>\n  </install>\n</application>";

const wchar_t MARKUP[] = L"<>\"'=/!- \n\tamenu";

std::wstring randomText(std::mt19937& random, size_t length)
{
  std::wstring text;
  for (size_t i = 0; i < length; ++i)
    text += random() % 4 ? MARKUP[random() % (sizeof MARKUP / sizeof MARKUP[0] - 1)]
                         : static_cast<wchar_t>(1 + random() % 0xFFFF);
  return text;
}

}

TEST(TagParserCorpusTest, DamagedDescriptionsFailCleanly)
{
  auto start = std::chrono::steady_clock::now();
  TagParser parser;
  parser.setTagTable(TABLE, sizeof TABLE / sizeof TABLE[0]);
  PageEdge edge;
  int count = 0, failed = 0;
  auto check = [&](bool parsed) {
    ++count;
    failed += !parsed;
    const std::wstring& error = parser.getError();
    EXPECT_EQ(parsed ? error : error.substr(0, 5), parsed ? L"" : L"line ") << error;
    return parsed;
  };
  auto parse = [&](const std::wstring& text) {
    return check(parser.parseString(text.size() < 2000 ? edge.placeText(text) : text.c_str()));
  };
  std::wstring description = DESCRIPTION;
  ASSERT_TRUE(parse(description));

  // Cut at every position: no shorter text is a whole description.
  for (size_t length = 1; length < description.size(); ++length)
    EXPECT_FALSE(parse(description.substr(0, length))) << length;

  // Characters replaced by markup or by anything at all, and random texts.
  std::mt19937 random(20);
  for (int i = 0; i < 700; ++i) {
    std::wstring damaged = description;
    for (int changes = 1 + random() % 4; changes > 0; --changes)
      damaged[random() % damaged.size()] = randomText(random, 1)[0];
    parse(damaged);
    parse(randomText(random, 1 + random() % 1500));
  }

  for (size_t depth : {101, 1000, 100000}) {
    std::wstring deep;
    for (size_t i = 0; i < depth; ++i)
      deep += L"<menu>";
    EXPECT_FALSE(parse(deep));
  }
  for (size_t size : {4096, 65536, 1048576}) {
    std::wstring huge(size, L'x');
    for (const std::wstring& text : {L"<menu text=\"" + huge + L"\">", L"<menu text=" + huge + L">",
                                     L"<menu " + huge + L"=1>", L"<" + huge + L">"})
      EXPECT_FALSE(parse(text));
  }

  // Raw bytes from files, NULs and all.
  TestFolder folder;
  for (int i = 0; i < 100; ++i) {
    std::string bytes(1 + random() % 3000, '\0');
    for (char& byte : bytes)
      byte = static_cast<char>(random());
    check(parser.parseFile(folder.file(L"random " + std::to_wstring(i) + L".xml", bytes).c_str()));
  }

  EXPECT_GE(count, 2000);
  printf("Damaged descriptions: %d parsed in %lld ms, %d of them failed with an error\n", count,
         millisecondsSince(start), failed);
}
