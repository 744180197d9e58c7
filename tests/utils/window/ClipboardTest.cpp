#include "WindowTestSupport.h"

#include <gtest/gtest.h>

// Another program's text need not end in a zero inside its block. Wine ends
// every text block with one as it is set, so the block, which the clipboard
// keeps for its owner, is cut short in place afterwards: its characters then
// run on past its end, as that program's would.
TEST(Clipboard, TextWithoutAZeroEndsWithItsBlock)
{
  RecordingWindow owner;
  ASSERT_TRUE(setClipboardText(owner.hwnd, std::wstring(64, L'x').c_str()));
  ASSERT_TRUE(OpenClipboard(owner.hwnd));
  HANDLE block = GetClipboardData(CF_UNICODETEXT);
  bool cut = block && GlobalReAlloc(block, 4 * sizeof(wchar_t), 0) == block;
  CloseClipboard();
  ASSERT_TRUE(cut);
  EXPECT_EQ(L"xxxx", takeText(getClipboardText(owner.hwnd)));
}
