#include "GraphicsContext.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(GraphicsContext, RectangleCornersMoveToPixelCentresByTheCeiling)
{
  Picture picture(40, 30);
  GraphicsContext* context = picture.context();
  context->setFillColour(RED_COLOUR);
  // (10, 10) and (30, 15) become (11.5, 11.5) and (31.5, 16.5): the 1-unit
  // outline covers whole pixels 11 and 31 across, 11 and 16 down.
  context->drawRect(Rect(10, 10, 20, 5));
  struct Case {
    int x, y;
    unsigned colour;
  } cases[] = {{10, 13, WHITE}, {11, 13, BLACK}, {12, 13, RED}, {30, 13, RED}, {31, 13, BLACK},
               {32, 13, WHITE}, {20, 10, WHITE}, {20, 11, BLACK}, {20, 16, BLACK}, {20, 17, WHITE}};
  for (const Case& c : cases)
    EXPECT_EQ(c.colour, picture.pixel(c.x, c.y)) << c.x << "," << c.y;
}

TEST(GraphicsContext, NoSnappingBelowHalfAPixelPerUnit)
{
  Picture picture(30, 30);
  GraphicsContext* context = picture.context();
  context->scale(0.25, 0.25);
  context->setPen(NO_PEN);
  context->setFillColour(RED_COLOUR);
  context->drawRect(Rect(40, 40, 40, 40));
  EXPECT_EQ(RED, picture.pixel(10, 10));
  EXPECT_EQ(RED, picture.pixel(19, 19));
  EXPECT_EQ(WHITE, picture.pixel(9, 15));
  EXPECT_EQ(WHITE, picture.pixel(20, 15));
}

TEST(GraphicsContext, ShapeWithNeitherFillNorPenLeavesNoPathBehind)
{
  Picture picture(20, 20);
  GraphicsContext* context = picture.context();
  context->setFillColour(TRANSPARENT_COLOUR);
  context->setPen(NO_PEN);
  context->drawRect(Rect(2, 2, 10, 10));
  context->setFillColour(RED_COLOUR);
  GraphicsPath empty;
  context->drawPath(&empty);
  EXPECT_EQ(WHITE, picture.pixel(8, 8));
}

TEST(GraphicsContext, GradientFillFollowsItsStops)
{
  Picture picture(10, 40);
  GraphicsContext* context = picture.context();
  Gradient gradient;
  gradient.end = Point(0, 40);
  gradient.addStop(0.0, Colour(0, 0, 0, 1));
  gradient.addStop(0.5, Colour(0, 0, 0, 1));
  gradient.addStop(1.0, Colour(1, 1, 1, 1));
  context->setFillGradient(gradient);
  context->setPen(NO_PEN);
  context->drawRect(Rect(-1, -1, 11, 41));
  EXPECT_EQ(BLACK, picture.pixel(5, 5));
  EXPECT_EQ(BLACK, picture.pixel(5, 19));
  unsigned lower = picture.pixel(5, 30) & 0xff, lowest = picture.pixel(5, 38) & 0xff;
  EXPECT_GT(lower, 0u);
  EXPECT_GT(lowest, lower);
}

TEST(GraphicsContext, TextIsMeasuredAndPlacedByItsBox)
{
  Picture picture(80, 40);
  GraphicsContext* context = picture.context();
  context->setFont(GraphicsFont(L"Arial", 12, 0));
  Size empty = context->measureText(L"");
  Size wide = context->measureText(L"Wide");
  EXPECT_EQ(0, empty.w);
  EXPECT_GT(empty.h, 8);
  EXPECT_EQ(empty.h + 1, wide.h);
  EXPECT_GT(wide.w, 10);

  double positions[2];
  context->getCharPositions(L"ab", positions);
  EXPECT_DOUBLE_EQ(context->measureText(L"a").w - 1, positions[0]);
  EXPECT_DOUBLE_EQ(positions[0] + context->measureText(L"b").w - 1, positions[1]);

  context->setTextBackground(Colour(0, 0, 1, 1));
  context->drawText(L"", 5, 5);
  EXPECT_EQ(WHITE, picture.pixel(7, 7));
  // The box starts at the snapped corner (6.5, 6.5); a dash leaves its
  // lower left corner to the background.
  context->drawText(L"-", 5, 5);
  EXPECT_EQ(0x0000ffu, picture.pixel(7, static_cast<int>(6.5 + empty.h) - 1));
  EXPECT_EQ(WHITE, picture.pixel(7, 5));
}

TEST(GraphicsContext, UnderlineLiesOneUnitBelowTheBaseline)
{
  Picture picture(80, 40);
  GraphicsContext* context = picture.context();
  context->setFont(GraphicsFont(L"Arial", 12, FONT_UNDERLINE));
  // Blanks have no ink of their own: only the underline shows.
  context->drawText(L"    ", 5, 5);
  std::vector<unsigned char> rgb = picture.rgb();
  std::vector<int> inkedRows;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 80; ++x) {
      if (rgb[(y * 80 + x) * 3] < 128) {
        inkedRows.push_back(y);
        break;
      }
    }
  }
  ASSERT_EQ(1u, inkedRows.size());
  // A 1-unit line through the snapped centre of y + ascent + 1.
  double baseline = 6.5 + context->measureText(L"").h - 1;
  EXPECT_GT(inkedRows[0], 6.5);
  EXPECT_LT(inkedRows[0], baseline + 4);
}

TEST(GraphicsContext, PolygonsRoundRectanglesAndArcs)
{
  Picture picture(40, 30);
  GraphicsContext* context = picture.context();
  context->setPen(NO_PEN);
  context->setFillColour(RED_COLOUR);
  const Point triangle[] = {Point(5, 5), Point(35, 5), Point(5, 25)};
  context->drawPolygon(triangle, 3);
  EXPECT_EQ(RED, picture.pixel(8, 8));
  EXPECT_EQ(WHITE, picture.pixel(30, 20));

  Picture rounded(40, 30);
  rounded.context()->setPen(NO_PEN);
  rounded.context()->setFillColour(RED_COLOUR);
  rounded.context()->drawRoundRect(Rect(5, 5, 30, 20), 6);
  EXPECT_EQ(WHITE, rounded.pixel(7, 7));
  EXPECT_EQ(RED, rounded.pixel(20, 15));
  EXPECT_EQ(RED, rounded.pixel(7, 16));

  // Start 0 and end 90 degrees: the upper right quarter of the ellipse
  // centred on (20, 15) with half-axes 15 and 10.
  Picture arc(40, 30);
  arc.context()->setPen(Pen(Colour(0, 0, 0, 1), 2, 0));
  arc.context()->drawArc(Point(5, 5), Size(30, 20), 0, 90);
  EXPECT_EQ(BLACK, arc.pixel(27, 6));
  EXPECT_EQ(WHITE, arc.pixel(13, 6));
  EXPECT_EQ(WHITE, arc.pixel(27, 23));
}

TEST(GraphicsContext, ForwardAndBackwardArcsCoverComplementaryParts)
{
  for (bool forward : {true, false}) {
    Picture picture(40, 40);
    GraphicsContext* context = picture.context();
    context->setPen(NO_PEN);
    context->setFillColour(RED_COLOUR);
    GraphicsPath pie;
    pie.moveTo(Point(20, 20));
    pie.arc(Point(20, 20), 12, 0, 3.14159265358979 / 2, forward);
    context->drawPath(&pie);
    // The snapped centre is (21.5, 21.5); y grows downwards.
    EXPECT_EQ(forward ? RED : WHITE, picture.pixel(26, 26)) << forward;
    EXPECT_EQ(forward ? WHITE : RED, picture.pixel(16, 16)) << forward;
  }
}

TEST(GraphicsContext, HandDrawnOutlinesDifferEachTime)
{
  auto outline = [](bool handDrawn) {
    Picture picture(60, 60);
    picture.context()->setHandDrawn(handDrawn);
    GraphicsPath path;
    path.moveTo(Point(5, 5));
    path.lineTo(Point(55, 10));
    path.lineTo(Point(30, 55));
    picture.context()->drawPath(&path);
    picture.context()->drawRect(Rect(10, 10, 40, 40));
    return picture.rgb();
  };
  EXPECT_EQ(outline(false), outline(false));
  EXPECT_NE(outline(true), outline(true));
  EXPECT_NE(outline(false), outline(true));
}

TEST(GraphicsContext, DrawsAnImageWithItsAlphaAtAnUnsnappedPoint)
{
  Picture image(4, 4, true);
  image.context()->setPen(NO_PEN);
  image.context()->setFillColour(RED_COLOUR);
  image.context()->drawRect(Rect(-2, -2, 2, 7));  // column 0, and half of column 1
  Picture picture(20, 20);
  picture.context()->drawImage(image.context(), Point(10, 10));
  EXPECT_EQ(RED, picture.pixel(10, 10));
  EXPECT_EQ(RED, picture.pixel(10, 13));
  EXPECT_EQ(WHITE, picture.pixel(13, 12));
  EXPECT_EQ(WHITE, picture.pixel(9, 9));
}
