#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::wstring textOf(HWND h)
{
  wchar_t text[64] = L"";
  GetWindowTextW(h, text, 64);
  return text;
}

}

TEST(Controls, TrackBarTakesItsPlaceAndRange)
{
  RecordingWindow parent;
  TrackBarControl track;
  ASSERT_TRUE(track.create(0, 30, 40, 150, 25, parent.hwnd, 7));
  EXPECT_EQ("30,40,180,65", rectText(parent.getChildRect(track.hwnd)));
  EXPECT_EQ(7, GetDlgCtrlID(track.hwnd));
  track.setRange(5, 10);
  track.setPos(20);
  EXPECT_EQ(10, track.getPos());
  track.setPos(0);
  EXPECT_EQ(5, track.getPos());
}

TEST(Controls, UpDownReadsItsBuddy)
{
  RecordingWindow parent;
  EditControl edit;
  ASSERT_TRUE(edit.create(0, 0, 0, 80, 20, parent.hwnd, 1));
  UpDownControl upDown;
  ASSERT_TRUE(upDown.create(UDS_SETBUDDYINT, parent.hwnd, 2));
  upDown.setBuddy(edit.hwnd);
  upDown.setRange(-5, 5);
  upDown.setPos(-3);
  EXPECT_EQ(L"-3", textOf(edit.hwnd));
  short pos = 0;
  EXPECT_TRUE(upDown.getPos(pos));
  EXPECT_EQ(-3, pos);
  SetWindowTextW(edit.hwnd, L"abc");
  pos = 9;
  EXPECT_FALSE(upDown.getPos(pos));
  EXPECT_EQ(9, pos);
}

TEST(Controls, ListTextsAndData)
{
  RecordingWindow parent;
  ListBox list;
  ASSERT_TRUE(list.create(LBS_SORT, 0, 0, 100, 100, parent.hwnd, 1));
  // Sorted: each index is the one the item got, not the order added.
  EXPECT_EQ(0, list.addString(L"\u00e9t\u00e9 \u65e5\u672c", 11));
  EXPECT_EQ(0, list.addString(L"b", 22));
  EXPECT_EQ(2, list.getCount());
  EXPECT_EQ(1, list.findStringExact(L"\u00e9t\u00e9 \u65e5\u672c"));
  EXPECT_EQ(11, list.getItemData(1));
  EXPECT_EQ(22, list.getItemData(0));
  wchar_t* text = list.getItemText(1);
  EXPECT_STREQ(L"\u00e9t\u00e9 \u65e5\u672c", text);
  DEBUG_FREE(text);
  EXPECT_EQ(nullptr, list.getItemText(2));
  EXPECT_DEATH(list.getItemData(2), "index < getCount");

  ComboBox combo;
  ASSERT_TRUE(combo.create(CBS_DROPDOWNLIST, 0, 0, 100, 100, parent.hwnd, 2));
  combo.addString(L"one");
  combo.addString(L"two");
  combo.setCurSel(1);
  EXPECT_EQ(1, combo.getCurSel());
  text = combo.getItemText(1);
  EXPECT_STREQ(L"two", text);
  DEBUG_FREE(text);
  EXPECT_EQ(nullptr, combo.getItemText(-1));
  DestroyWindow(combo.hwnd);
  EXPECT_EQ(nullptr, combo.getItemText(0));
  EXPECT_EQ(0, combo.getCount());
}

TEST(Controls, ListViewColumnsAndItems)
{
  RecordingWindow parent;
  ListViewControl view;
  ASSERT_TRUE(view.create(LVS_REPORT, 0, 0, 200, 100, parent.hwnd, 1));
  EXPECT_EQ(0, view.insertColumn(0, 70, L"Name"));
  EXPECT_EQ(1, view.insertColumn(1, 40, L"Size"));
  EXPECT_TRUE(view.setColumnWidth(1, 55));
  EXPECT_EQ(55, view.getColumnWidth(1));
  EXPECT_EQ(0, view.insertItem(0, L"clip.mp4", 5));
  EXPECT_TRUE(view.setItemText(0, 1, L"12 MB"));
  view.selectItem(0);
  EXPECT_EQ(0, ListView_GetNextItem(view.hwnd, -1, LVNI_SELECTED | LVNI_FOCUSED));
  wchar_t text[16] = L"";
  ListView_GetItemText(view.hwnd, 0, 1, text, 16);
  EXPECT_STREQ(L"12 MB", text);
  EXPECT_TRUE(view.deleteColumn(0));
  EXPECT_TRUE(view.deleteAllItems());
  EXPECT_EQ(0, view.getItemCount());
}

TEST(Controls, StatusBarGoesWithItsObject)
{
  RecordingWindow parent;
  HWND bar;
  {
    StatusBar status;
    bar = status.create(0, L"Ready", parent.hwnd, 3);
    ASSERT_TRUE(bar);
    EXPECT_EQ(L"Ready", textOf(bar));
  }
  EXPECT_FALSE(IsWindow(bar));
}

TEST(Controls, RichEditTextAndContextMenuPlaces)
{
  RecordingWindow parent;
  RichEditControl first;
  RichEditControl second;
  ASSERT_TRUE(first.create(ES_MULTILINE, 0, 0, 200, 100, parent.hwnd, 1));
  ASSERT_TRUE(second.create(0, 0, 0, 200, 100, parent.hwnd, 2));
  wchar_t* text = first.getText();
  EXPECT_STREQ(L"", text);
  DEBUG_FREE(text);
  SetWindowTextW(first.hwnd, L"Vid\u00e9os \u65e5\u672c");
  text = first.getText();
  EXPECT_STREQ(L"Vid\u00e9os \u65e5\u672c", text);
  DEBUG_FREE(text);

  first.attachContextMenu();
  RichEditWrapper* wrapper = static_cast<RichEditWrapper*>(windowMap.getSubclassed(first.hwnd));
  ASSERT_TRUE(wrapper);
  // Monitors left of and above the primary one lie at negative positions.
  POINT at = wrapper->menuPosition(MAKELPARAM(-1200, -30));
  EXPECT_EQ(-1200, at.x);
  EXPECT_EQ(-30, at.y);
  at = wrapper->menuPosition(-1);
  RECT window;
  GetWindowRect(first.hwnd, &window);
  EXPECT_TRUE(PtInRect(&window, at)) << at.x << "," << at.y;
}

TEST(Controls, RichEditMenuCommandsUseTheClipboard)
{
  RecordingWindow parent;
  RichEditControl edit;
  ASSERT_TRUE(edit.create(0, 0, 0, 200, 100, parent.hwnd, 1));
  edit.attachContextMenu();
  RichEditWrapper* wrapper = static_cast<RichEditWrapper*>(windowMap.getSubclassed(edit.hwnd));
  ASSERT_TRUE(wrapper);
  SetWindowTextW(edit.hwnd, L"keep \u00e9t\u00e9 tail");

  Menu menu;
  wrapper->buildMenu(menu);
  for (UINT id : {RichEditWrapper::CUT, RichEditWrapper::COPY, RichEditWrapper::DELETE_SELECTION})
    EXPECT_TRUE(GetMenuState(menu.hMenu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
  EXPECT_FALSE(GetMenuState(menu.hMenu, RichEditWrapper::SELECT_ALL, MF_BYCOMMAND) & MF_GRAYED);

  SendMessageW(edit.hwnd, EM_SETSEL, 5, 9);
  wrapper->runCommand(RichEditWrapper::CUT);
  wchar_t* clip = getClipboardText(parent.hwnd);
  EXPECT_STREQ(L"\u00e9t\u00e9 ", clip);
  DEBUG_FREE(clip);
  wchar_t* text = edit.getText();
  EXPECT_STREQ(L"keep tail", text);
  DEBUG_FREE(text);

  // Nothing but a bitmap on the clipboard: paste changes nothing.
  if (OpenClipboard(parent.hwnd)) {
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, CreateBitmap(1, 1, 1, 1, nullptr));
    CloseClipboard();
  }
  wrapper->runCommand(RichEditWrapper::PASTE);
  text = edit.getText();
  EXPECT_STREQ(L"keep tail", text);
  DEBUG_FREE(text);
}
