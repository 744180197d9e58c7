#include "XmlAttributes.h"

#include <gtest/gtest.h>

#include <utility>

using namespace XmlAttributes;

TEST(XmlAttributes, NumbersSizesColoursAndFonts)
{
  struct {
    const wchar_t* text;
    double number;
    int extent;
  } numbers[] = {
      {L"12.7", 12.7, 12}, {L"  3x", 3, 3}, {L"abc", 0, 0}, {L"-5", -5, 0},
      {L"1e400", 0, 0},    {L"0x10", 0, 0}, {L"1e9", 1e9, MAX_EXTENT},
  };
  for (const auto& c : numbers) {
    EXPECT_EQ(c.number, readNumber(c.text)) << c.text;
    EXPECT_EQ(c.extent, readExtent(c.text)) << c.text;
  }

  struct {
    const wchar_t* text;
    bool read;
    int width;
    int height;
  } sizes[] = {
      {L"640x480", true, 640, 480}, {L"640", false, 640, -1}, {L"x480", false, -1, -1},
      {L"99999999999x-3", true, MAX_EXTENT, 0},
  };
  for (const auto& c : sizes) {
    int width = -1, height = -1;
    EXPECT_EQ(c.read, parseSize(c.text, width, height)) << c.text;
    EXPECT_EQ(std::make_pair(c.width, c.height), std::make_pair(width, height)) << c.text;
  }

  struct {
    const wchar_t* text;
    COLORREF colour;
  } colours[] = {
      {L"#ff0000", 0x0000FF}, {L"black", 0}, {L"white", 0xFFFFFF}, {L"#12345", 0x808080}, {L"ff0000", 0x808080},
  };
  for (const auto& c : colours) {
    COLORREF colour = 0x808080;
    parseColour(c.text, colour);
    EXPECT_EQ(c.colour, colour) << c.text;
  }

  // A face name longer than a font holds is cut, not written past its field.
  std::wstring longFace(300, L'W');
  struct {
    std::wstring text;
    bool read;
    std::wstring face;
    int height;
  } fonts[] = {
      {L"Courier New:12", true, L"Courier New", 12}, {L"Courier New", false, L"", 0},
      {L"Arial:99999", false, L"", 0},                {L"Arial:x", false, L"", 0},
      {longFace + L":14", true, longFace.substr(0, LF_FACESIZE - 1), 14},
  };
  for (const auto& c : fonts) {
    std::wstring face;
    int height = 0;
    EXPECT_EQ(c.read, parseFont(c.text, face, height)) << c.text;
    EXPECT_EQ(std::make_pair(c.face, c.height), std::make_pair(face, height)) << c.text;
  }
}
