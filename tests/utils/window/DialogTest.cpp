#include "TestDialogs.h"
#include "TestFolder.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <dlgs.h>

namespace {

const UINT_PTR STEP_TIMER = 1;

HINSTANCE module()
{
  return GetModuleHandleW(nullptr);
}

// Refuses the first apply; once shown, presses OK twice.
class SettingsPage : public PropertyPage {
public:
  SettingsPage() : PropertyPage(module(), MAKEINTRESOURCEW(IDD_PAGE_GENERAL)) {}

  bool onApply() override
  {
    applies++;
    return applies > 1;
  }

  INT_PTR dialogProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) override
  {
    if (msg == WM_INITDIALOG)
      SetTimer(h, STEP_TIMER, 300, nullptr);
    if (msg == WM_TIMER) {
      KillTimer(h, STEP_TIMER);
      screenshotSaved = saveScreenshot("property-sheet");
      // Sent, not posted as PropSheet_PressButton does: each apply has run on return.
      SendMessageW(GetParent(h), PSM_PRESSBUTTON, PSBTN_OK, 0);
      // A sheet that is ending has no current page any more.
      openAfterFailedApply = PropSheet_GetCurrentPageHwnd(GetParent(h)) == h && applies == 1;
      SendMessageW(GetParent(h), PSM_PRESSBUTTON, PSBTN_OK, 0);
    }
    return PropertyPage::dialogProc(h, msg, wParam, lParam);
  }

  int applies = 0;
  bool openAfterFailedApply = false;
  bool screenshotSaved = false;
};

}

TEST(DesktopPropertySheet, FailedApplyKeepsTheSheetOpen)
{
  PropertySheetDialog sheet(module());
  sheet.setCaption(L"Zarudodo Vudade settings");
  SettingsPage general;
  ASSERT_TRUE(sheet.addPage(general));
  EXPECT_GT(sheet.doModal(0, 0), 0);
  EXPECT_TRUE(general.openAfterFailedApply);
  EXPECT_EQ(2, general.applies);
  EXPECT_TRUE(general.screenshotSaved);
  // A handle kept after its window went could name another window later.
  EXPECT_EQ(nullptr, general.hwnd);
}

TEST(PropertySheetDialog, CaptionAndPageLimits)
{
  PropertySheetDialog sheet(module());
  EXPECT_EQ(0, sheet.doModal(0, 0));
  std::wstring longCaption(300, L'x');
  sheet.setCaption(longCaption.c_str());
  EXPECT_EQ(static_cast<size_t>(MAX_CAPTION - 1), wcslen(sheet.getCaption()));

  PropertyPage page(module(), MAKEINTRESOURCEW(IDD_PAGE_GENERAL));
  for (int i = 0; i < MAX_PROPERTY_PAGES; i++)
    ASSERT_TRUE(sheet.addPage(page));
  EXPECT_FALSE(sheet.addPage(page));
  EXPECT_EQ(MAX_PROPERTY_PAGES, sheet.getPageCount());
}

// The list ends in its two zeros inside the buffer: a pair fits when its
// final zero falls on the buffer's last character, and not one later.
TEST(FileDialogDeathTest, FilterPairsFillTheBufferToItsLastCharacterAndNoFurther)
{
  const std::wstring name(100, L'a'), pattern(100, L'b'), lastName(150, L'c');
  FileDialog dialog(nullptr, L"Open");
  dialog.addFilter(name.c_str(), pattern.c_str());
  dialog.addFilter(lastName.c_str(), std::wstring(157, L'd').c_str());
  std::wstring expected = name + L'\0' + pattern + L'\0' + lastName + L'\0' + std::wstring(157, L'd') + L'\0' + L'\0';
  EXPECT_EQ(expected, std::wstring(dialog.getFilter(), FILE_FILTER_LENGTH));

  EXPECT_DEATH(
      {
        FileDialog full(nullptr, L"Open");
        full.addFilter(name.c_str(), pattern.c_str());
        full.addFilter(lastName.c_str(), std::wstring(158, L'd').c_str());
      },
      "Assertion failed: 0");
}

// A selection as the platform leaves it: one path, or the folder and each
// name, every one ending in a zero, then one more zero; the first name's
// offset in the dialog record.
struct FileDialogSelection {
  static std::vector<std::wstring> walk(const std::wstring& selection, size_t fileOffset)
  {
    std::vector<wchar_t> buffer(selection.begin(), selection.end());
    FileDialog dialog(nullptr, L"Open");
    dialog.useBuffer(buffer.data(), static_cast<int>(buffer.size()));
    dialog._ofn.nFileOffset = static_cast<WORD>(fileOffset);
    std::vector<std::wstring> paths;
    for (const wchar_t* path; (path = dialog.nextFile());)
      paths.push_back(path);
    return paths;
  }
};

// A path longer than the result holds is skipped, not cut, and nothing is
// written past the result.
TEST(FileDialog, NextFileSkipsAPathTooLongForItsResult)
{
  const std::wstring end(1, L'\0');
  const std::wstring folder = L"C:\\" + std::wstring(1030, L'f');
  // The folder, a backslash and "a.mp4" fill the result to its last character.
  EXPECT_EQ(std::vector<std::wstring>({folder + L"\\a.mp4", folder + L"\\c.mp4"}),
            FileDialogSelection::walk(folder + end + L"a.mp4" + end + L"bb.mp4" + end + L"c.mp4" + end + end,
                                      folder.size() + 1));
  const std::wstring fullFolder = folder + L"ffffff";
  EXPECT_TRUE(FileDialogSelection::walk(fullFolder + L"\\a.mp4" + end + end, fullFolder.size() + 1).empty());
  EXPECT_TRUE(FileDialogSelection::walk(fullFolder + end + L"a.mp4" + end + end, fullFolder.size() + 1).empty());
}

namespace {

const wchar_t FILE_DIALOG_TITLE[] = L"Choose videos";
std::wstring namesToType;
const char* screenshotName = nullptr;

// Types the names into the open dialog's file name box; at the next tick,
// once the dialog has painted them, presses Open.
void CALLBACK typeNames(HWND, UINT, UINT_PTR timer, DWORD)
{
  HWND dialog = FindWindowW(L"#32770", FILE_DIALOG_TITLE);
  if (!dialog)
    return;
  if (namesToType.empty()) {
    KillTimer(nullptr, timer);
    if (screenshotName)
      saveScreenshot(screenshotName);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  HWND box = GetDlgItem(dialog, cmb13);
  SetWindowTextW(box ? box : GetDlgItem(dialog, edt1), namesToType.c_str());
  namesToType.clear();
}

// What nextFile gives for the names typed into the dialog, which opens in
// the working directory.
std::vector<std::wstring> choose(const std::wstring& names, bool multiSelect, std::vector<wchar_t>& buffer,
                                 const char* screenshot = nullptr)
{
  namesToType = names;
  screenshotName = screenshot;
  UINT_PTR timer = SetTimer(nullptr, 0, 100, typeNames);
  FileDialog dialog(nullptr, FILE_DIALOG_TITLE);
  std::vector<std::wstring> paths;
  if (dialog.openFile(buffer.data(), static_cast<int>(buffer.size()), multiSelect))
    for (const wchar_t* path; (path = dialog.nextFile());)
      paths.push_back(path);
  KillTimer(nullptr, timer);
  return paths;
}

}

// One file is its path alone, whatever the buffer held past its zero before
// (a dialog for several files ends even one with two zeros); three are the
// folder joined to each name.
TEST(DesktopFileDialog, NextFileGivesEachChosenPathOnce)
{
  TestFolder folder;
  for (const wchar_t* name : {L"a.mp4", L"b.mp4", L"c.mp4"})
    folder.file(name);
  wchar_t workingDirectory[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, workingDirectory);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.root().c_str()));
  std::vector<wchar_t> buffer(1024, L'x');
  buffer[0] = 0;
  buffer.back() = 0;
  std::vector<std::wstring> one = choose(L"a.mp4", false, buffer);
  std::vector<std::wstring> three = choose(L"\"a.mp4\" \"b.mp4\" \"c.mp4\"", true, buffer, "file-dialog");
  SetCurrentDirectoryW(workingDirectory);
  EXPECT_EQ(std::vector<std::wstring>({folder.path(L"a.mp4")}), one);
  EXPECT_EQ(std::vector<std::wstring>({folder.path(L"a.mp4"), folder.path(L"b.mp4"), folder.path(L"c.mp4")}), three);
}
