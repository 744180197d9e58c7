#include "XmlApplication.h"

#include <gtest/gtest.h>

TEST(XmlSettings, LoadSkipsWhatItCannotUse)
{
  XmlSettings settings;
  for (const wchar_t* name : {L"a", L"b", L"c", L"d"})
    settings.add(XmlSetting{name, L"", L"", L"2"});
  // A hand-written line without the blank keeps its first character and a
  // value keeps its own colons; a line ending at the colon, one without a
  // colon and an unknown name change nothing, and CR-LF line ends leave no
  // CR behind.
  settings.load(L"a:42\r\nb:\nno colon\nnew: x\n\n\nc: 7\nd: C:\\Vid\u00e9os: old");
  std::wstring text, value;
  settings.save(text);
  EXPECT_EQ(L"a: 42\nb: 2\nc: 7\nd: C:\\Vid\u00e9os: old\n", text);
  EXPECT_FALSE(settings.get(L"new", value));
}
