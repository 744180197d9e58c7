#include "WindowTestSupport.h"

#include <gtest/gtest.h>

TEST(Controls, PlacesAndUpDownNumbers)
{
  RecordingWindow parent;
  TrackBarControl track;
  ASSERT_TRUE(track.create(0, 30, 40, 150, 25, parent.hwnd, 7));
  EXPECT_EQ("30,40,180,65", rectText(parent.getChildRect(track.hwnd)));
  EXPECT_EQ(7, GetDlgCtrlID(track.hwnd));

  EditControl edit;
  ASSERT_TRUE(edit.create(0, 0, 0, 80, 20, parent.hwnd, 1));
  UpDownControl upDown;
  ASSERT_TRUE(upDown.create(UDS_SETBUDDYINT, parent.hwnd, 2));
  upDown.setBuddy(edit.hwnd);
  upDown.setRange(-5, 5);
  upDown.setPos(-3);
  wchar_t text[8] = L"";
  GetWindowTextW(edit.hwnd, text, 8);
  EXPECT_STREQ(L"-3", text);
  short pos = 0;
  EXPECT_TRUE(upDown.getPos(pos) && pos == -3);
  // A buddy whose text is no number is the control's error.
  SetWindowTextW(edit.hwnd, L"abc");
  EXPECT_FALSE(upDown.getPos(pos));
  EXPECT_EQ(-3, pos);
}

TEST(Controls, ListTextsAndData)
{
  RecordingWindow parent;
  ListBox list;
  ASSERT_TRUE(list.create(LBS_SORT, 0, 0, 100, 100, parent.hwnd, 1));
  // Sorted: the data goes with the index the item got, not the order added.
  EXPECT_EQ(0, list.addString(L"\u00e9t\u00e9 \u65e5\u672c", 11));
  EXPECT_EQ(0, list.addString(L"b", 22));
  EXPECT_EQ(1, list.findStringExact(L"\u00e9t\u00e9 \u65e5\u672c"));
  EXPECT_EQ((std::vector<LPARAM>{22, 11}), (std::vector<LPARAM>{list.getItemData(0), list.getItemData(1)}));
  EXPECT_EQ(L"\u00e9t\u00e9 \u65e5\u672c", takeText(list.getItemText(1)));
  EXPECT_EQ(L"<null>", takeText(list.getItemText(2)));
  EXPECT_DEATH(list.getItemData(2), "index < getCount");

  ComboBox combo;
  ASSERT_TRUE(combo.create(CBS_DROPDOWNLIST, 0, 0, 100, 100, parent.hwnd, 2));
  combo.addString(L"one");
  combo.addString(L"two");
  EXPECT_EQ(L"two", takeText(combo.getItemText(1)));
  EXPECT_EQ(L"<null>", takeText(combo.getItemText(-1)));
  DestroyWindow(combo.hwnd);
  EXPECT_EQ(L"<null>", takeText(combo.getItemText(0)));
  EXPECT_EQ(0, combo.getCount());
}

TEST(Controls, RichEditTextNotifyMenuAndClipboard)
{
  RecordingWindow parent;
  RichEditControl edit;
  ASSERT_TRUE(edit.create(ES_MULTILINE, 0, 0, 200, 100, parent.hwnd, 1));
  EXPECT_EQ(L"", takeText(edit.getText()));
  SetWindowTextW(edit.hwnd, L"Vid\u00e9os \u65e5\u672c");
  EXPECT_EQ(L"Vid\u00e9os \u65e5\u672c", takeText(edit.getText()));
  EXPECT_FALSE(parent.saw(WM_COMMAND));
  edit.enableChangeNotify();
  SetWindowTextW(edit.hwnd, L"changed");
  EXPECT_TRUE(parent.saw(WM_COMMAND));

  edit.attachContextMenu();
  RichEditWrapper* wrapper = static_cast<RichEditWrapper*>(windowMap.getSubclassed(edit.hwnd));
  ASSERT_TRUE(wrapper);
  // Monitors left of and above the primary one lie at negative positions.
  POINT at = wrapper->menuPosition(MAKELPARAM(-1200, -30));
  EXPECT_EQ((std::pair<LONG, LONG>{-1200, -30}), (std::pair<LONG, LONG>{at.x, at.y}));
  // Opened from the keyboard: on the control, not off screen.
  at = wrapper->menuPosition(-1);
  RECT window;
  GetWindowRect(edit.hwnd, &window);
  EXPECT_TRUE(PtInRect(&window, at)) << at.x << "," << at.y;
  // The menu's commands go through the clipboard.
  SetWindowTextW(edit.hwnd, L"keep \u00e9t\u00e9 tail");

  Menu menu;
  wrapper->buildMenu(menu);
  for (UINT id : {RichEditWrapper::CUT, RichEditWrapper::COPY, RichEditWrapper::DELETE_SELECTION})
    EXPECT_TRUE(GetMenuState(menu.hMenu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  EXPECT_FALSE(GetMenuState(menu.hMenu, RichEditWrapper::SELECT_ALL, MF_BYCOMMAND) & MF_GRAYED);

  SendMessageW(edit.hwnd, EM_SETSEL, 5, 9);
  wrapper->runCommand(RichEditWrapper::CUT);
  EXPECT_EQ(L"\u00e9t\u00e9 ", takeText(getClipboardText(parent.hwnd)));
  EXPECT_EQ(L"keep tail", takeText(edit.getText()));
  setClipboardText(parent.hwnd, L"!\u65e5");
  SendMessageW(edit.hwnd, EM_SETSEL, 4, 4);
  wrapper->runCommand(RichEditWrapper::PASTE);
  EXPECT_EQ(L"keep!\u65e5 tail", takeText(edit.getText()));

  // Nothing but a bitmap on the clipboard: paste changes nothing.
  if (OpenClipboard(parent.hwnd)) {
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, CreateBitmap(1, 1, 1, 1, nullptr));
    CloseClipboard();
  }
  wrapper->runCommand(RichEditWrapper::PASTE);
  EXPECT_EQ(L"keep!\u65e5 tail", takeText(edit.getText()));
}

