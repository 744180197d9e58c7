#include "GraphicsContext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Colour, ParsesNamesHexAndFunctionalForms)
{
  const std::wstring longest = L"rgb(" + std::wstring(30, L'0') + L"1,0,0)";  // 31 characters
  struct Case {
    const wchar_t* text;
    double r, g, b, a;
  } cases[] = {
    {L"Red", 1, 0, 0, 1}, {L"RED", 1, 0, 0, 1},
    {L"lightgrey", 0xd3 / 255.0, 0xd3 / 255.0, 0xd3 / 255.0, 1},
    {L"lightgoldenrodyellow", 0xfa / 255.0, 0xfa / 255.0, 0xd2 / 255.0, 1},
    {L"#fff", 1, 1, 1, 1}, {L"#12345", 0x11 / 255.0, 0x22 / 255.0, 0x33 / 255.0, 1},
    {L"#123456zz", 0x12 / 255.0, 0x34 / 255.0, 0x56 / 255.0, 1},
    {L"rgb(255,0,0)", 1, 0, 0, 1}, {L"rgb(50%,0,0)", 0.5, 0, 0, 1}, {L"rgb(300,-5,0)", 1, 0, 0, 1},
    {L"rgb( 0 , 51,\t0 )", 0, 0.2, 0, 1}, {L"rgb(1-2,0,0)", 1 / 255.0, 0, 0, 1}, {longest.c_str(), 1 / 255.0, 0, 0, 1},
    {L"rgba(0,0,255,0.5)", 0, 0, 1, 0.5}, {L"rgba(0,0,255,50%)", 0, 0, 1, 0.5}, {L"rgba(0,0,255,2)", 0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    Colour colour;
    ASSERT_TRUE(colour.parse(c.text));
    const double got[] = {colour.r, colour.g, colour.b, colour.a}, expected[] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i)
      EXPECT_DOUBLE_EQ(expected[i], got[i]) << "channel " << i;
  }
}

TEST(Colour, BadTextGivesHalfTransparentPurple)
{
  const std::wstring tooLong = L"rgb(" + std::wstring(32, L'1') + L",0,0)";
  const wchar_t* bad[] = {L" red", L"lightgray", L"grey", L"darkgrey", L"#12", L"#", L"rgb (1,2,3)",
                          L"rgb(1,2)", L"rgba(1,2,3)", L"rgb(,1,2)", L"", nullptr, tooLong.c_str()};
  for (const wchar_t* text : bad) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text ? text : L"(null)")));
    Colour colour(1, 1, 1, 1);
    EXPECT_FALSE(colour.parse(text));
    EXPECT_EQ((std::vector<double>{0.5, 0, 0.5, 0.5}), (std::vector<double>{colour.r, colour.g, colour.b, colour.a}));
  }
}

TEST(GraphicsFont, LongFaceNamesAreCut)
{
  GraphicsFont font(std::wstring(40, L'x').c_str(), 12, FONT_BOLD);
  EXPECT_EQ(std::wstring(31, L'x'), font.face);
}
