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

TEST(GraphicsContext, SnapsCornersToPixelCentresByTheCeiling)
{
  Picture picture(40, 30);
  picture.context()->setFillColour(RED_COLOUR);
  // (10, 10) and (30, 15) become (11.5, 11.5) and (31.5, 16.5): the 1-unit
  // outline covers whole pixels 11 and 31 across, 11 and 16 down.
  picture.context()->drawRect(Rect(10, 10, 20, 5));
  expectPixels(picture, {{10, 13, WHITE}, {11, 13, BLACK}, {12, 13, RED}, {30, 13, RED}, {31, 13, BLACK},
                         {32, 13, WHITE}, {20, 10, WHITE}, {20, 11, BLACK}, {20, 16, BLACK}, {20, 17, WHITE}});
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
