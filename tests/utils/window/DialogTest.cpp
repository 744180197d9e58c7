#include "TestDialogs.h"
#include "TestFolder.h"
#include "WindowTestSupport.h"

#include <dlgs.h>

#include <gtest/gtest.h>

namespace {

const UINT_PTR STEP_TIMER = 1;
const UINT STEP_MS = 300;

HINSTANCE module()
{
  return GetModuleHandleW(nullptr);
}

// Fills its controls at start; at the first tick reads them back and ends.
class FormDialog : public Dialog {
public:
  FormDialog() : Dialog(module(), MAKEINTRESOURCEW(IDD_FORM), 0) {}

  INT_PTR dialogProc(HWND h, UINT msg, WPARAM, LPARAM) override
  {
    if (msg == WM_INITDIALOG) {
      SetDlgItemTextW(h, IDC_NAME, L"Vid\u00e9os d'\u00e9t\u00e9 \u65e5\u672c");
      setChecked(IDC_REMEMBER, true);
      SetTimer(h, STEP_TIMER, STEP_MS, nullptr);
      return TRUE;
    }
    if (msg != WM_TIMER)
      return FALSE;
    KillTimer(h, STEP_TIMER);
    screenshotSaved = saveScreenshot("dialog");
    GetDlgItemTextW(h, IDC_NAME, name, 64);
    checked = isChecked(IDC_REMEMBER);
    EndDialog(h, 5);
    return TRUE;
  }

  wchar_t name[64] = L"";
  bool checked = false;
  bool screenshotSaved = false;
};

}

TEST(DesktopDialog, FromTemplateWithControlsReadBack)
{
  FormDialog dialog;
  EXPECT_EQ(5, dialog.doModal());
  EXPECT_STREQ(L"Vid\u00e9os d'\u00e9t\u00e9 \u65e5\u672c", dialog.name);
  EXPECT_TRUE(dialog.checked);
  EXPECT_TRUE(dialog.screenshotSaved);
  EXPECT_EQ(nullptr, dialog.hwnd);
}

TEST(DesktopDialog, ModelessDialogTakesItsKeysUntilItGoes)
{
  RecordingWindow other;
  HWND hwnd;
  {
    Dialog dialog(module(), MAKEINTRESOURCEW(IDD_FORM), 0);
    hwnd = dialog.create();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(hwnd, ModelessDialogs[0]);
    MSG tab = {GetDlgItem(hwnd, IDC_NAME), WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
    EXPECT_TRUE(isModelessDialogMessage(&tab));
    MSG elsewhere = {other.hwnd, WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
    EXPECT_FALSE(isModelessDialogMessage(&elsewhere));
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(nullptr, ModelessDialogs[0]);
}

namespace {

// Refuses the first apply; steps the sheet from a timer: OK, then OK again.
class SettingsPage : public PropertyPage {
public:
  SettingsPage(int pageTemplate, bool drive)
    : PropertyPage(module(), MAKEINTRESOURCEW(pageTemplate)), _drive(drive)
  {
  }

  bool onApply() override
  {
    applies++;
    return applies > 1;
  }

  INT_PTR dialogProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) override
  {
    if (msg == WM_INITDIALOG && _drive)
      SetTimer(h, STEP_TIMER, STEP_MS, nullptr);
    if (msg == WM_TIMER)
      step(h);
    return PropertyPage::dialogProc(h, msg, wParam, lParam);
  }

  int applies = 0;
  int steps = 0;
  bool openAfterFailedApply = false;
  bool screenshotSaved = false;

private:
  void step(HWND h)
  {
    HWND sheet = GetParent(h);
    if (++steps == 1) {
      screenshotSaved = saveScreenshot("property-sheet");
    } else {
      openAfterFailedApply = IsWindowVisible(sheet) && applies == 1;
      KillTimer(h, STEP_TIMER);
    }
    PropSheet_PressButton(sheet, PSBTN_OK);
  }

  bool _drive;
};

}

TEST(DesktopPropertySheet, FailedApplyKeepsTheSheetOpen)
{
  PropertySheetDialog sheet(module());
  sheet.setCaption(L"Zarudodo Vudade settings");
  SettingsPage general(IDD_PAGE_GENERAL, true);
  SettingsPage playback(IDD_PAGE_PLAYBACK, false);
  ASSERT_TRUE(sheet.addPage(general));
  ASSERT_TRUE(sheet.addPage(playback));
  EXPECT_GT(sheet.doModal(0, 0), 0);
  EXPECT_EQ(2, general.steps);
  EXPECT_TRUE(general.openAfterFailedApply);
  EXPECT_EQ(2, general.applies);
  EXPECT_TRUE(general.screenshotSaved);
}

TEST(DesktopPropertySheet, ModelessSheetClosedByOkGoesAtTheNextMessage)
{
  PropertySheetDialog sheet(module());
  SettingsPage page(IDD_PAGE_PLAYBACK, false);
  page.applies = 1;
  ASSERT_TRUE(sheet.addPage(page));
  HWND hwnd = sheet.create(0, 0);
  ASSERT_TRUE(hwnd);
  addModelessPropertySheet(hwnd);
  PropSheet_PressButton(hwnd, PSBTN_OK);
  pumpMessages();
  RecordingWindow other;
  MSG msg = {other.hwnd, WM_NULL, 0, 0, 0, {0, 0}};
  EXPECT_TRUE(isModelessPropertySheetMessage(&msg));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(nullptr, ModelessPropertySheets[0]);
}

TEST(PropertySheetDialog, CaptionAndPageLimits)
{
  PropertySheetDialog sheet(module());
  EXPECT_EQ(0, sheet.doModal(0, 0));
  std::wstring longCaption(300, L'x');
  sheet.setCaption(longCaption.c_str());
  EXPECT_EQ(static_cast<size_t>(MAX_CAPTION - 1), wcslen(sheet.getCaption()));

  PropertyPage page(module(), MAKEINTRESOURCEW(IDD_PAGE_PLAYBACK));
  for (int i = 0; i < MAX_PROPERTY_PAGES; i++)
    ASSERT_TRUE(sheet.addPage(page));
  EXPECT_FALSE(sheet.addPage(page));
  EXPECT_EQ(MAX_PROPERTY_PAGES, sheet.getPageCount());
}

namespace {

BOOL CALLBACK findShownDialog(HWND h, LPARAM found)
{
  wchar_t name[16];
  GetClassNameW(h, name, 16);
  if (!IsWindowVisible(h) || wcscmp(name, L"#32770") != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = h;
  return FALSE;
}

const wchar_t* _typedName;
int _answers;

// Answers the file dialog once it shows: types the names and presses OK,
// or cancels.
void CALLBACK answerFileDialog(HWND, UINT, UINT_PTR, DWORD)
{
  HWND dialog = 0;
  EnumThreadWindows(GetCurrentThreadId(), findShownDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog)
    return;
  bool type = _typedName && _answers++ == 0;
  if (type && !SetDlgItemTextW(dialog, cmb13, _typedName))
    SetDlgItemTextW(dialog, edt1, _typedName);
  PostMessageW(dialog, WM_COMMAND, type ? IDOK : IDCANCEL, 0);
}

bool runFileDialog(FileDialog& dialog, const wchar_t* typedName, wchar_t* buffer, int length)
{
  _typedName = typedName;
  _answers = 0;
  UINT_PTR timer = SetTimer(0, 0, STEP_MS, answerFileDialog);
  bool chosen = dialog.openFile(buffer, length, true);
  KillTimer(0, timer);
  return chosen;
}

}

TEST(DesktopFileDialog, CancelledOrThreeFilesChosen)
{
  TestFolder folder;
  for (const wchar_t* name : {L"a.mp4", L"b.mp4", L"c.mp4"})
    folder.file(name);
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder.root().c_str());

  FileDialog dialog(0, L"Open videos");
  dialog.addFilter(L"Videos", L"*.mp4;*.mkv");
  wchar_t buffer[1024] = L"";
  EXPECT_FALSE(runFileDialog(dialog, nullptr, buffer, 1024));

  EXPECT_TRUE(runFileDialog(dialog, L"\"a.mp4\" \"b.mp4\" \"c.mp4\"", buffer, 1024));
  std::vector<std::wstring> chosen;
  while (const wchar_t* path = dialog.nextFile())
    chosen.push_back(path);
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(3u, chosen.size());
  EXPECT_EQ(folder.path(L"c.mp4"), chosen[2]);
}
