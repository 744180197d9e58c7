#include "startuplink.h"

#include "StringUtil.h"
#include "TestFolder.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

// "target|working folder|show command" of a saved shortcut, read back
// through the shell but for what Wine's loader gets wrong: the target comes
// from the item list (the plain path is narrowed to the ANSI code page), the
// show command from the file's header at 0x3C.
std::wstring readLink(const std::wstring& path)
{
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  LPITEMIDLIST list = nullptr;
  wchar_t target[MAX_PATH] = L"", folder[MAX_PATH] = L"";
  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link));
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(persist->Load(path.c_str(), STGM_READ)) && SUCCEEDED(link->GetIDList(&list))) {
    SHGetPathFromIDListW(list, target);
    link->GetWorkingDirectory(folder, MAX_PATH);
  }
  CoTaskMemFree(list);
  persist->Release();
  link->Release();
  int show = 0;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    fseek(file, 0x3C, SEEK_SET);
    fread(&show, sizeof show, 1, file);
    fclose(file);
  }
  return std::wstring(target) + L"|" + folder + L"|" + std::to_wstring(show);
}

class StartupLinkTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override
  {
    deleteStartupLink(_name.c_str());
    CoUninitialize();
  }

  // Tests run side by side, so each has a shortcut of its own.
  const std::wstring _name =
      L"Zarudodo \u00e9\u65e5 " + toWide(::testing::UnitTest::GetInstance()->current_test_info()->name());
  TestFolder _folder;
};

}

TEST_F(StartupLinkTest, BareTargetStartsInTheCurrentFolder)
{
  _folder.file(L"player.exe");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(_folder.root().c_str()));
  bool created = createStartupLink(_name.c_str(), L"player.exe");
  SetCurrentDirectoryW(previous);
  std::wstring path;
  ASSERT_TRUE(created && getStartupLinkPath(_name.c_str(), path));
  EXPECT_EQ(readLink(path), _folder.path(L"player.exe") + L"|" + _folder.root() + L"|7");
  EXPECT_TRUE(deleteStartupLink(_name.c_str()));
}

TEST_F(StartupLinkTest, NoShortcutForANameThatIsAPathOrForNoTarget)
{
  EXPECT_FALSE(createStartupLink(L"..\\escaped", L"C:\\windows\\notepad.exe"));
  EXPECT_FALSE(createStartupLink(L"", L"C:\\windows\\notepad.exe"));
  EXPECT_FALSE(createStartupLink(_name.c_str(), L"  \"\" "));
  EXPECT_FALSE(startupLinkExists(_name.c_str()));
}
