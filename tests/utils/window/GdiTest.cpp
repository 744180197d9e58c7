#include "WindowTestSupport.h"

#include <gtest/gtest.h>

TEST(DC, PutsBackTheFontFromBeforeItsFirstSelection)
{
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ original = GetCurrentObject(memory, OBJ_FONT);
  Font a(L"Tahoma", 12);
  Font b(L"Tahoma", 14);
  GdiPen pen(PS_SOLID, 1, RGB(255, 0, 0));
  {
    DC dc(memory);
    dc.selectFont(a.getHandle());
    dc.selectFont(b.getHandle());
    dc.selectPen(pen.getHandle());
  }
  EXPECT_EQ(original, GetCurrentObject(memory, OBJ_FONT));
  EXPECT_NE(pen.getHandle(), GetCurrentObject(memory, OBJ_PEN));
  // Not owned: the context is still ours to delete.
  EXPECT_TRUE(DeleteDC(memory));
}

TEST(Font, ChangingASelectedFontKeepsItsHandleUsable)
{
  HDC memory = CreateCompatibleDC(nullptr);
  Font font(L"Tahoma", 12);
  HFONT selected = font.getHandle();
  {
    DC dc(memory);
    dc.selectFont(selected);
    font.setHeight(30);
    TEXTMETRICW metrics;
    EXPECT_TRUE(GetTextMetricsW(memory, &metrics));
    EXPECT_NE(selected, font.getHandle());
    EXPECT_GT(font.getHeight(), metrics.tmHeight);
  }
  // Deleting it while selected would have made it go when put back.
  EXPECT_EQ(OBJ_FONT, static_cast<int>(GetObjectType(selected)));
  DeleteDC(memory);
}
