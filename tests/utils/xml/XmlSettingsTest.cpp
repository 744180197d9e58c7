#include "XmlApplication.h"

#include <gtest/gtest.h>

#include <limits>

using namespace XmlAttributes;

TEST(XmlSettings, SaveThenLoadKeepsEveryValue)
{
  XmlSettings settings;
  settings.add(XmlSetting{L"volume", L"", L"", L"0.75"});
  settings.add(XmlSetting{L"folder", L"", L"", L"C:\\Vid\u00e9os \u65e5: old"});
  settings.add(XmlSetting{L"empty", L"", L"", L""});
  std::wstring text;
  settings.save(text);
  EXPECT_EQ(L"empty: \nfolder: C:\\Vid\u00e9os \u65e5: old\nvolume: 0.75\n", text);

  settings.set(L"volume", L"x");
  settings.set(L"folder", L"x");
  settings.load(text);
  std::wstring value;
  EXPECT_TRUE(settings.get(L"folder", value));
  EXPECT_EQ(L"C:\\Vid\u00e9os \u65e5: old", value);
  double volume = 0;
  EXPECT_TRUE(settings.getDouble(L"volume", volume));
  EXPECT_EQ(0.75, volume);
}

TEST(XmlSettings, LoadSkipsWhatItCannotUse)
{
  XmlSettings settings;
  settings.add(XmlSetting{L"a", L"", L"", L"1"});
  settings.add(XmlSetting{L"b", L"", L"", L"2"});
  settings.add(XmlSetting{L"c", L"", L"", L"3"});
  // A hand-written line without the blank keeps its first character; a
  // line ending at the colon, one without a colon and an unknown name change
  // nothing, and CR-LF line ends leave no CR behind.
  settings.load(L"a:42\r\nb:\nno colon\nnew: x\n\n\nc: 7");
  std::wstring text, value;
  settings.save(text);
  EXPECT_EQ(L"a: 42\nb: 2\nc: 7\n", text);
  EXPECT_FALSE(settings.get(L"new", value));
  double number;
  EXPECT_FALSE(settings.getDouble(L"new", number));
}
