#include "DibImage.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>

namespace {

void fill(DibImage& image, int w, int h, const std::function<COLORREF(int x, int y)>& colour)
{
  ASSERT_TRUE(image.create(w, h, 24, 0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, colour(x, y));
}

}

TEST(DibImage, PixelsAreBlueGreenRedRowsFromTheTop)
{
  DibImage image;
  ASSERT_TRUE(image.create(3, 2, 24, 0));
  image.setPixel(1, 0, RGB(0x99, 0x66, 0x33));
  EXPECT_EQ(RGB(0x99, 0x66, 0x33), image.getPixel(1, 0));
  image.setPixel(-1, 0, RGB(1, 2, 3));
  image.setPixel(3, 1, RGB(1, 2, 3));
  EXPECT_EQ(0u, image.getPixel(3, 0));
  EXPECT_EQ(0u, image.getPixel(0, -1));
}

TEST(DibImage, CopiesFromADeviceContextAndStaysMadeWhenOnlyTheCopyFails)
{
  MemoryDC source(6, 6);
  SetPixel(source.dc, 4, 1, RGB(200, 10, 20));
  DibImage image;
  RECT part = {2, 1, 5, 3};
  ASSERT_TRUE(image.createFromDC(source.dc, &part));
  EXPECT_EQ(3, image.width());
  EXPECT_EQ(RGB(200, 10, 20), image.getPixel(2, 0));
  EXPECT_EQ(RGB(255, 255, 255), image.getPixel(0, 1));

  // A DC that cannot be copied from: a new image of the rectangle's size.
  RECT other = {0, 0, 4, 2};
  EXPECT_FALSE(image.createFromDC(reinterpret_cast<HDC>(0x1234), &other));
  EXPECT_EQ(4, image.width());
  EXPECT_NE(nullptr, image.getBits());
}

TEST(DibImage, BlendsClippedToTheSourceWithAlphaAtMostOne)
{
  DibImage source, target;
  fill(source, 4, 4, [](int x, int y) { return RGB(200, x * 10, y * 10); });
  auto reset = [&target]() { fill(target, 4, 4, [](int, int) { return RGB(100, 100, 100); }); };
  RECT whole = {0, 0, 4, 4};

  reset();
  EXPECT_FALSE(target.blend(0, 0, &source, &whole, 0.0));
  EXPECT_EQ(RGB(100, 100, 100), target.getPixel(0, 0));
  EXPECT_TRUE(target.blend(0, 0, &source, &whole, 0.5));
  EXPECT_EQ(RGB(150, 55, 60), target.getPixel(1, 2));
  reset();
  EXPECT_TRUE(target.blend(0, 0, &source, &whole, 0.25));
  EXPECT_EQ(RGB(125, 77, 80), target.getPixel(1, 2));

  // Above 1 it copies, instead of a negative mix wrapping round.
  reset();
  EXPECT_TRUE(target.blend(0, 0, &source, &whole, 2.0));
  EXPECT_EQ(source.getPixel(3, 3), target.getPixel(3, 3));

  // A rectangle reaching outside the source reads only its inside part,
  // each pixel where the whole rectangle would have put it.
  reset();
  RECT outside = {-2, -1, 2, 2};
  EXPECT_TRUE(target.blend(0, 0, &source, &outside, 1.0));
  EXPECT_EQ(source.getPixel(0, 0), target.getPixel(2, 1));
  EXPECT_EQ(source.getPixel(1, 1), target.getPixel(3, 2));
  EXPECT_EQ(RGB(100, 100, 100), target.getPixel(1, 1));
  EXPECT_EQ(RGB(100, 100, 100), target.getPixel(2, 3));
}

TEST(DibImage, SmoothScaleWeighsThePixelSampledAgainstItsNeighbours)
{
  DibImage source, target;
  fill(source, 4, 4, [](int x, int y) { return RGB(x * 40, y * 40, 0); });
  ASSERT_TRUE(target.create(16, 16, 24, 0));
  source.scaleSmooth(&target);
  // (7, 5) samples the source at (1.75, 1.25), in pixel (1, 1): across, then
  // down, each mix takes 3/4 of the sampled column or row and 1/4 of its
  // neighbour on the sample's side (right, above), each sum cut to a whole.
  EXPECT_EQ(RGB(49, 30, 0), target.getPixel(7, 5));
}

// Counts whose bytes wrap round are refused rather than given a block too
// small for them.
TEST(DibImage, RefusesAColourCountOrCacheSizeBeyondItsRoom)
{
  DibImage image;
  EXPECT_FALSE(image.create(4, 4, 8, -9));
  EXPECT_FALSE(image.create(4, 4, 8, 257));
  EXPECT_TRUE(image.create(4, 4, 8, 256));
  MemoryDC target(8, 8);
  RECT src = {0, 0, 4, 4}, dst = {0, 0, 8, 8};
  EXPECT_THROW(image.drawCached(target.dc, &src, &dst, 1 << 30), std::bad_alloc);
}
