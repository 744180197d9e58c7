#include "TestDialogs.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

const WORD CMD_RESCAN = 40001;
const WORD CMD_COPY = 40002;

class CommandWindow : public RecordingWindow {
public:
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    if (msg == WM_COMMAND)
      commands.push_back(LOWORD(wParam));
    return RecordingWindow::handleMessage(h, msg, wParam, lParam, handled);
  }

  std::vector<WORD> commands;
};

}

TEST(AcceleratorTable, EveryAttachedTableTranslatesUntilDetachedOrDeleted)
{
  CommandWindow first;
  CommandWindow second;
  AcceleratorTable* a = new AcceleratorTable;
  AcceleratorTable b;
  a->add(FVIRTKEY, VK_F5, CMD_RESCAN);
  b.add(FVIRTKEY, VK_F5, CMD_COPY);
  a->attach(first.hwnd);
  a->attach(first.hwnd);
  b.attach(second.hwnd);
  EXPECT_EQ(2, _numAccelerators);

  MSG f5 = {first.hwnd, WM_KEYDOWN, VK_F5, 1, 0, {0, 0}};
  EXPECT_TRUE(translateAccelerators(&f5));
  EXPECT_EQ(std::vector<WORD>{CMD_RESCAN}, first.commands);
  EXPECT_EQ(std::vector<WORD>{CMD_COPY}, second.commands);

  // A deleted table leaves the list; the one behind it still works.
  delete a;
  EXPECT_TRUE(translateAccelerators(&f5));
  EXPECT_EQ((std::vector<WORD>{CMD_COPY, CMD_COPY}), second.commands);
  EXPECT_EQ(1u, first.commands.size());
  b.detach();
  EXPECT_EQ(0, _numAccelerators);
  EXPECT_FALSE(translateAccelerators(&f5));
}

// The owner goes first and takes its dialog, its sheet and the window of
// its accelerator table with it: the loop's next message finds them gone.
TEST(DesktopDyingWindows, AModelessDialogSheetAndTableLeaveTheLoopsLists)
{
  RecordingWindow owner(nullptr, WS_OVERLAPPEDWINDOW);
  Dialog dialog(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PAGE_GENERAL), owner.hwnd);
  ASSERT_TRUE(dialog.create());
  PropertySheetDialog sheet(GetModuleHandleW(nullptr));
  PropertyPage page(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PAGE_GENERAL));
  ASSERT_TRUE(sheet.addPage(page));
  HWND shown = sheet.create(owner.hwnd, 0);
  ASSERT_TRUE(shown);
  addModelessPropertySheet(shown);
  AcceleratorTable table;
  table.add(FVIRTKEY, VK_F5, CMD_RESCAN);
  table.attach(owner.hwnd);
  DestroyWindow(owner.hwnd);
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  PostQuitMessage(0);
  runMessageLoop();
  for (int i = 0; i < MAX_MODELESS; i++)
    EXPECT_FALSE(ModelessDialogs[i] || ModelessPropertySheets[i]) << i;
  EXPECT_EQ(0, _numAccelerators);
}
