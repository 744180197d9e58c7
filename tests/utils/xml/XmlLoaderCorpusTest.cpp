// Hostile attribute values in the sample description, one value at a time
// in every attribute: each build and tear-down must end without a crash, a
// failed assertion or a damaged heap block, whatever size, number, colour,
// font, picture or command the value asks for. The windows are on the
// screen, so the test takes the desktop lock of screen-reading tests.
#include "StringUtil.h"
#include "TestSupport.h"
#include "XmlTestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

TEST(DesktopXmlLoaderCorpus, HostileAttributeValuesBuildWithoutHarm)
{
  auto start = std::chrono::steady_clock::now();
  initBaseWnd(GetModuleHandleW(nullptr), 0.75);
  InitCommonControls();
  MessageBoxCloser boxes;
  std::wstring description;
  ASSERT_TRUE(readFileWide(XML_SAMPLE_DESCRIPTION, description));
  const std::wstring values[] = {
      L"",           L"-1",          L"1e400",      L"nan",         L"99999999999x99999999999",
      L"-70000x-3",  L"#zz",         L"Arial:99999", std::wstring(300, L'W') + L":12",
      L"hide(" + std::wstring(40, L'n') + L")",     L"\u65e5\u00e9 '<>&/",  std::wstring(4000, L'9'),
  };
  // Two values per attribute, in turn, so that every value meets many
  // attributes and a run stays short: each build makes some twenty windows.
  const size_t count = sizeof values / sizeof values[0];
  int builds = 0;
  for (size_t open = description.find(L"=\""); open != std::wstring::npos; open = description.find(L"=\"", open + 1)) {
    size_t close = description.find(L'"', open + 2);
    for (int i = 0; i < 2; ++i) {
      const std::wstring& value = values[builds % count];
      std::wstring damaged = description.substr(0, open + 2) + value + description.substr(close);
      RecordingListener listener;
      XmlApplication application(GetModuleHandleW(nullptr), &listener, nullptr);
      EXPECT_TRUE(application.parse(damaged)) << application.getError();
      EXPECT_EQ(L"_init", listener.commands.back());
      ++builds;
    }
  }
  EXPECT_GE(builds, 100);
  printf("Hostile attribute values: %d descriptions built and torn down in %lld ms, %zu error boxes\n", builds,
         millisecondsSince(start), boxes.texts.size());
}
