#include "XmlTestSupport.h"

#include <gtest/gtest.h>

using namespace XmlAttributes;

TEST(XmlAttributes, NumbersSizesColoursAndFonts)
{
  struct {
    const wchar_t* text;
    double number;
    int extent;
  } numbers[] = {
      {L"12.7", 12.7, 12},     {L"  3x", 3, 3},       {L"abc", 0, 0},        {L"", 0, 0},
      {L"-5", -5, 0},          {L"1e400", 0, 0},      {L"nan", 0, 0},        {L"0x10", 0, 0},
      {L"1e9", 1e9, MAX_EXTENT}, {L"-1e400", 0, 0},
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
      {L"640x480", true, 640, 480},  {L"640", false, 640, -1},          {L"x480", false, -1, -1},
      {L"640 x 480", false, 640, -1}, {L"99999999999x-3", true, MAX_EXTENT, 0},
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
      {L"#ff0000", 0x0000FF}, {L"#0A0b0C", 0x0C0B0A}, {L"black", 0}, {L"white", 0xFFFFFF},
      {L"Black", 0x808080},   {L"#12345", 0x808080},  {L"#gg0000", 0x808080}, {L"ff0000", 0x808080},
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
      {L":12", false, L"", 0},                        {L"Arial:99999", false, L"", 0},
      {L"Arial:x", false, L"", 0},                    {longFace + L":14", true, longFace.substr(0, LF_FACESIZE - 1), 14},
  };
  for (const auto& c : fonts) {
    std::wstring face;
    int height = 0;
    EXPECT_EQ(c.read, parseFont(c.text, face, height)) << c.text;
    EXPECT_EQ(std::make_pair(c.face, c.height), std::make_pair(face, height)) << c.text;
  }
}

TEST(XmlCommands, IdsFromOneThousandAndTheCommandPath)
{
  RecordingListener listener;
  XmlApplication application(GetModuleHandleW(nullptr), &listener, nullptr);
  EXPECT_EQ(0u, application.commandId(L"", 0));
  EXPECT_EQ(1000u, application.commandId(L"open", 0));
  EXPECT_EQ(1001u, application.commandId(L"open", 0));
  EXPECT_EQ(1002u, application.commandId(L"pick", 1));
  application.handleCommand(1001, 0);
  application.handleCommand(1002, 0);  // the wrong notification code
  application.handleCommand(1002, 1);
  application.handleCommand(0, 0);
  EXPECT_EQ((std::vector<std::wstring>{L"open", L"pick"}), listener.commands);

  // "hide" and "show" of a name that no window has are done with; every
  // other form goes on unchanged, overlong or empty parts too.
  listener.commands.clear();
  std::wstring longPart(32, L'n');
  for (const wchar_t* command : {L"hide(nothing)", L"show(nothing"})
    application.executeCommand(command);
  const std::wstring passed[] = {L"play(fast)", L"hide", L"hide()", L"(x)", L"hide(" + longPart + L")",
                                 longPart + L"(x)", L""};
  for (const std::wstring& command : passed)
    application.executeCommand(command);
  EXPECT_EQ(std::vector<std::wstring>(std::begin(passed), std::end(passed)), listener.commands);
}
