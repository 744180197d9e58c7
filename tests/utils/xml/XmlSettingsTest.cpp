#include "XmlApplication.h"

#include <gtest/gtest.h>

TEST(XmlSettings, LoadSkipsWhatItCannotUse)
{
  XmlSettings settings;
  for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e"})
    settings.add(XmlSetting{name, L"", L"", L"2"});
  // A hand-written line without the blank keeps its first character and a
  // value keeps its own colons; a line ending at the colon, one without a
  // colon and an unknown name change nothing, and CR-LF line ends leave no
  // CR behind, while a CR elsewhere stays in its value.
  settings.load(L"a:42\r\nb:\nno colon\nnew: x\n\n\nc: 7\ne: 1\r2\r\nd: C:\\Vid\u00e9os: old");
  std::wstring text, value;
  settings.save(text);
  const std::wstring saved = L"a: 42\nb: 2\nc: 7\nd: C:\\Vid\u00e9os: old\ne: 1\r2\n";
  EXPECT_EQ(saved, text);
  EXPECT_FALSE(settings.get(L"new", value));
  settings.set(L"e", L"");
  settings.load(saved);
  text.clear();
  settings.save(text);
  EXPECT_EQ(saved, text);

  // A value holding a line feed would come back as a line of its own and
  // overwrite another setting: set and add keep the old value.
  XmlSettings server;
  server.add(XmlSetting{L"folder", L"", L"", L"C:\\"});
  server.add(XmlSetting{L"port", L"", L"", L"1025"});
  server.set(L"port", L"8080\nfolder: Z:\\");
  server.add(XmlSetting{L"folder", L"", L"", L"D:\\\nport: 80"});
  text.clear();
  server.save(text);
  server.load(text);
  text.clear();
  server.save(text);
  EXPECT_EQ(L"folder: C:\\\nport: 1025\n", text);
}
