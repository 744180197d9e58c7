#include "TestDialogs.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

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
