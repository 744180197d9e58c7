#include "GraphicsContext.h"
#include "Pixels.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
  int x, y;
  unsigned colour;
};

void expectPixels(Picture& picture, std::initializer_list<Expected> expected)
{
  for (const Expected& e : expected)
    EXPECT_EQ(e.colour, picture.pixel(e.x, e.y)) << e.x << "," << e.y;
}

}

TEST(GraphicsContext, SnapsCornersToPixelCentresByTheCeilingUnlessScaledDown)
{
  Picture picture(40, 30);
  picture.context()->setFillColour(RED_COLOUR);
  // (10, 10) and (30, 15) become (11.5, 11.5) and (31.5, 16.5): the 1-unit
  // outline covers whole pixels 11 and 31 across, 11 and 16 down.
  picture.context()->drawRect(Rect(10, 10, 20, 5));
  expectPixels(picture, {{10, 13, WHITE}, {11, 13, BLACK}, {12, 13, RED}, {30, 13, RED}, {31, 13, BLACK},
                         {32, 13, WHITE}, {20, 10, WHITE}, {20, 11, BLACK}, {20, 16, BLACK}, {20, 17, WHITE}});

  // Under half a pixel per unit, points stay where they are.
  Picture scaled(30, 30);
  scaled.context()->scale(0.25, 0.25);
  scaled.context()->setPen(NO_PEN);
  scaled.context()->setFillColour(RED_COLOUR);
  scaled.context()->drawRect(Rect(40, 40, 40, 40));
  expectPixels(scaled, {{10, 10, RED}, {19, 19, RED}, {9, 15, WHITE}, {20, 15, WHITE}});
}

TEST(GraphicsContext, FillsWithGradientsAndLeavesNoPathBehind)
{
  Picture picture(10, 40);
  GraphicsContext* context = picture.context();
  context->setFillColour(TRANSPARENT_COLOUR);
  context->setPen(NO_PEN);
  context->drawRect(Rect(2, 2, 6, 30));  // nothing to fill or stroke
  Gradient gradient;
  gradient.end = Point(0, 40);
  gradient.addStop(0.0, Colour(0, 0, 0, 1));
  gradient.addStop(0.5, Colour(0, 0, 0, 1));
  gradient.addStop(1.0, Colour(1, 1, 1, 1));
  context->setFillGradient(gradient);
  GraphicsPath empty;
  context->drawPath(&empty);
  EXPECT_EQ(WHITE, picture.pixel(5, 5));

  context->drawRect(Rect(-1, -1, 11, 41));
  expectPixels(picture, {{5, 5, BLACK}, {5, 19, BLACK}});
  unsigned lower = picture.pixel(5, 30) & 0xff, lowest = picture.pixel(5, 38) & 0xff;
  EXPECT_GT(lower, 0u);
  EXPECT_GT(lowest, lower);
}

TEST(GraphicsContext, TextIsMeasuredAndPlacedByItsBox)
{
  Picture picture(80, 40);
  GraphicsContext* context = picture.context();
  context->setFont(GraphicsFont(L"Arial", 12, FONT_UNDERLINE));
  Size empty = context->measureText(L"");
  EXPECT_EQ(0, empty.w);
  EXPECT_EQ(empty.h + 1, context->measureText(L"Wide").h);
  double positions[2];
  context->getCharPositions(L"ab", positions);
  EXPECT_DOUBLE_EQ(context->measureText(L"a").w - 1, positions[0]);
  EXPECT_DOUBLE_EQ(positions[0] + context->measureText(L"b").w - 1, positions[1]);

  // Blanks have no ink: only the underline shows, one unit under the baseline.
  context->drawText(L"    ", 5, 5);
  std::vector<unsigned char> rgb = picture.rgb();
  std::vector<int> inkedRows;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x)
      if (rgb[(y * 80 + x) * 3] < 128) {
        inkedRows.push_back(y);
        break;
      }
  ASSERT_EQ(1u, inkedRows.size());
  EXPECT_GT(inkedRows[0], 6.5 + empty.h / 2);
  EXPECT_LT(inkedRows[0], 6.5 + empty.h + 3);

  // The background box starts at the snapped corner (6.5, 6.5); a dash
  // leaves its lower left corner to the background. No text, no box.
  context->setFont(GraphicsFont(L"Arial", 12, 0));
  context->setTextBackground(Colour(0, 0, 1, 1));
  context->drawText(L"", 40, 5);
  EXPECT_EQ(WHITE, picture.pixel(42, 7));
  context->drawText(L"-", 40, 5);
  expectPixels(picture, {{42, static_cast<int>(6.5 + empty.h) - 1, 0x0000ffu}, {42, 5, WHITE}});
}

TEST(GraphicsContext, PolygonsRoundRectanglesAndArcs)
{
  Picture picture(80, 30);
  GraphicsContext* context = picture.context();
  context->setPen(NO_PEN);
  context->setFillColour(RED_COLOUR);
  const Point triangle[] = {Point(5, 5), Point(35, 5), Point(5, 25)};
  context->drawPolygon(triangle, 3);
  context->drawRoundRect(Rect(45, 5, 30, 20), 6);
  expectPixels(picture, {{8, 8, RED}, {30, 20, WHITE}, {47, 7, WHITE}, {60, 15, RED}, {47, 16, RED}});

  // 0 to 90 degrees: the upper right quarter of the ellipse around (20, 15).
  Picture arc(40, 30);
  arc.context()->setPen(Pen(Colour(0, 0, 0, 1), 2, 0));
  arc.context()->drawArc(Point(5, 5), Size(30, 20), 0, 90);
  expectPixels(arc, {{27, 6, BLACK}, {13, 6, WHITE}, {27, 23, WHITE}});

  // Forward and backward arcs between the same angles are complements.
  for (bool forward : {true, false}) {
    Picture pie(40, 40);
    pie.context()->setPen(NO_PEN);
    pie.context()->setFillColour(RED_COLOUR);
    GraphicsPath path;
    path.moveTo(Point(20, 20));
    path.arc(Point(20, 20), 12, 0, 3.14159265 / 2, forward);
    pie.context()->drawPath(&path);
    expectPixels(pie, {{26, 26, forward ? RED : WHITE}, {16, 16, forward ? WHITE : RED}});
  }
}

TEST(GraphicsContext, DrawsAnImageWithItsAlphaAtAnUnsnappedPoint)
{
  Picture image(4, 4, true);
  image.context()->setPen(NO_PEN);
  image.context()->setFillColour(RED_COLOUR);
  image.context()->drawRect(Rect(-2, -2, 2, 7));  // column 0, and half of column 1
  Picture picture(20, 20);
  picture.context()->drawImage(image.context(), Point(10, 10));
  expectPixels(picture, {{10, 10, RED}, {10, 13, RED}, {13, 12, WHITE}, {9, 9, WHITE}});
}
