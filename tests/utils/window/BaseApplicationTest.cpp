#include "WindowTestSupport.h"

#include <gtest/gtest.h>

TEST(CommandLine, SplitsAtBlanksOutsideQuotes)
{
  struct Case {
    const wchar_t* text;
    int maxArgs;
    std::vector<std::wstring> args;
  } cases[] = {
    {L"a\"b c\"d e", 8, {L"a\"b c\"d", L"e"}},
    {L"\"\" x", 8, {L"", L"x"}},
    {L"one two three", 1, {L"one"}},
    {L"  \u00e9t\u00e9 \"C:\\Vid\u00e9os\\\u65e5\u672c.mkv\"  ", 8, {L"\u00e9t\u00e9", L"C:\\Vid\u00e9os\\\u65e5\u672c.mkv"}},
    {L"\"open", 8, {L"open"}},
    {L"", 8, {}},
  };
  for (const Case& c : cases) {
    CommandLine line(c.text, c.maxArgs);
    std::vector<std::wstring> args;
    for (int i = 0; i < line.getCount(); i++)
      args.push_back(line.getArg(i));
    EXPECT_EQ(c.args, args) << toUtf8(c.text);
  }
}
