#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

HGDIOBJ currentFont(HDC dc)
{
  return GetCurrentObject(dc, OBJ_FONT);
}

}

TEST(DC, PutsBackTheFontFromBeforeItsFirstSelection)
{
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ original = currentFont(memory);
  Font a(L"Tahoma", 12);
  Font b(L"Tahoma", 14);
  GdiPen pen(PS_SOLID, 1, RGB(255, 0, 0));
  {
    DC dc(memory);
    dc.selectFont(a.getHandle());
    EXPECT_EQ(a.getHandle(), dc.selectFont(b.getHandle()));
    dc.selectPen(pen.getHandle());
    EXPECT_EQ(b.getHandle(), currentFont(memory));
  }
  EXPECT_EQ(original, currentFont(memory));
  EXPECT_NE(pen.getHandle(), GetCurrentObject(memory, OBJ_PEN));
  // Not owned: the context is still ours to delete.
  EXPECT_TRUE(DeleteDC(memory));
}

TEST(Font, ChangingASelectedFontKeepsItsHandleUsable)
{
  HDC memory = CreateCompatibleDC(nullptr);
  Font font(L"Tahoma", 12);
  HFONT selected = font.getHandle();
  DC dc(memory);
  dc.selectFont(selected);
  font.setHeight(30);
  EXPECT_EQ(OBJ_FONT, GetObjectType(selected));
  TEXTMETRICW metrics;
  EXPECT_TRUE(GetTextMetricsW(memory, &metrics));
  EXPECT_NE(selected, font.getHandle());
  EXPECT_GT(font.getHeight(), metrics.tmHeight);
  DeleteDC(memory);
}

TEST(Font, DescriptionAndHeightLimits)
{
  Font font;
  EXPECT_STREQ(L"Tahoma", font.getFaceName());
  font.setBold(true);
  EXPECT_TRUE(font.isBold());
  LOGFONTW semibold = font.getLogFont();
  semibold.lfWeight = 600;
  HFONT handle = CreateFontIndirectW(&semibold);
  Font copied(handle);
  DeleteObject(handle);
  EXPECT_FALSE(copied.isBold());
  EXPECT_EQ(10, copied.getRequestedHeight());
  EXPECT_GT(copied.getCharWidth(L'W'), 0);

  Font large(L"Arial", -4000);
  EXPECT_EQ(-4000, large.getRequestedHeight());
  EXPECT_DEATH(Font(L"Arial", 5001), "height <= MAX_FONT_HEIGHT");
}

TEST(Menu, BuildsChangesAndEmptiesItsItems)
{
  Menu menu;
  Menu sub;
  sub.append(L"Inner", 9);
  menu.append(L"Copy log", 2).appendSeparator().appendPopup(L"More", sub).append(L"Rescan", 3);
  EXPECT_EQ(4, GetMenuItemCount(menu.hMenu));
  menu.setItemText(3, L"Scan again");
  wchar_t text[32];
  GetMenuStringW(menu.hMenu, 3, text, 32, MF_BYCOMMAND);
  EXPECT_STREQ(L"Scan again", text);
  menu.check(2, true);
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(menu.hMenu, 2, MF_BYCOMMAND) & MF_CHECKED);
  menu.enable(3, false);
  EXPECT_EQ(static_cast<UINT>(MF_GRAYED), GetMenuState(menu.hMenu, 3, MF_BYCOMMAND) & MF_GRAYED);
  menu.removeAll();
  EXPECT_EQ(0, menu.getCount());
  EXPECT_EQ(0, GetMenuItemCount(menu.hMenu));
  // Removing its item leaves the submenu to its own object.
  EXPECT_TRUE(IsMenu(sub.hMenu));
  EXPECT_DEATH(menu.enable(3, true), "GetMenuItemCount");
}
