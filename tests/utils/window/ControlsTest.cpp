#include "WindowTestSupport.h"

#include <gtest/gtest.h>

TEST(Controls, TrackBarLandsWhereItIsPlaced)
{
  RecordingWindow parent;
  TrackBarControl track;
  ASSERT_TRUE(track.create(0, 30, 40, 150, 25, parent.hwnd, 7));
  EXPECT_EQ("30,40,180,65", rectText(parent.getChildRect(track.hwnd)));
}

TEST(Controls, RichEditTextNotifyMenuAndClipboard)
{
  RecordingWindow parent;
  RichEditControl edit;
  ASSERT_TRUE(edit.create(ES_MULTILINE, 0, 0, 200, 100, parent.hwnd, 1));
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

  SetWindowTextW(edit.hwnd, L"keep \u00e9t\u00e9 tail");
  SendMessageW(edit.hwnd, EM_SETSEL, 5, 9);
  wrapper->runCommand(RichEditWrapper::CUT);
  EXPECT_EQ(L"keep tail", takeText(edit.getText()));
  SendMessageW(edit.hwnd, EM_SETSEL, 0, 0);
  wrapper->runCommand(RichEditWrapper::PASTE);
  EXPECT_EQ(L"\u00e9t\u00e9 keep tail", takeText(edit.getText()));
}
