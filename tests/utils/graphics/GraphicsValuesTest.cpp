#include "GraphicsValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Colour, BadTextGivesHalfTransparentPurple)
{
  const std::wstring tooLong = L"rgb(" + std::wstring(32, L'1') + L",0,0)";
  const wchar_t* bad[] = {L" red", L"#12", L"rgb (1,2,3)", L"rgba(1,2,3)", L"rgb(,1,2)", L"", nullptr, tooLong.c_str()};
  Colour longest;  // 31 characters in a number are the most it reads
  EXPECT_TRUE(longest.parse((L"rgb(" + std::wstring(30, L'0') + L"1,0,0)").c_str()));
  EXPECT_DOUBLE_EQ(1 / 255.0, longest.r);
  for (const wchar_t* text : bad) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text ? text : L"(null)")));
    Colour colour(1, 1, 1, 1);
    EXPECT_FALSE(colour.parse(text));
    EXPECT_EQ((std::vector<double>{0.5, 0, 0.5, 0.5}), (std::vector<double>{colour.r, colour.g, colour.b, colour.a}));
  }
}

TEST(Colour, ShortHexDoublesEachDigitAndRgbaKeepsItsAlpha)
{
  struct Case {
    const wchar_t* text;
    std::vector<double> rgba;
  } cases[] = {
    {L"#abc", {0xaa / 255.0, 0xbb / 255.0, 0xcc / 255.0, 1}},
    {L"rgba(0, 51, 255, 0.5)", {0, 0.2, 1, 0.5}},
  };
  for (const Case& c : cases) {
    Colour colour;
    EXPECT_TRUE(colour.parse(c.text));
    EXPECT_EQ(c.rgba, (std::vector<double>{colour.r, colour.g, colour.b, colour.a})) << testing::PrintToString(c.text);
  }
}

TEST(GraphicsFont, LongFaceNamesAreCut)
{
  GraphicsFont font(std::wstring(40, L'x').c_str(), 12, FONT_BOLD);
  EXPECT_EQ(std::wstring(31, L'x'), font.face);
}
