#include "DibImage.h"
#include "Pixels.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

void fill(DibImage& image, int w, int h, const std::function<COLORREF(int x, int y)>& colour)
{
  ASSERT_TRUE(image.create(w, h, 24, 0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, colour(x, y));
}

// A w × h image whose pixel (x, y) is RGB(x * 16, y * 16, 7).
void fillPattern(DibImage& image, int w, int h)
{
  fill(image, w, h, [](int x, int y) { return RGB(x * 16, y * 16, 7); });
}

}

TEST(DibImage, PixelsAreBlueGreenRedRowsFromTheTopAndBadSizesAreRefused)
{
  DibImage image;
  ASSERT_TRUE(image.create(3, 2, 24, 0));
  image.setPixel(1, 0, RGB(0x99, 0x66, 0x33));
  EXPECT_EQ(RGB(0x99, 0x66, 0x33), image.getPixel(1, 0));
  // Rows are bottom-up and padded to 12 bytes: the top row is the second.
  EXPECT_EQ(0, memcmp("\x33\x66\x99", static_cast<const char*>(image.getBits()) + 12 + 3, 3));

  image.setPixel(-1, 0, RGB(1, 2, 3));
  image.setPixel(3, 1, RGB(1, 2, 3));
  EXPECT_EQ(0u, image.getPixel(3, 0));
  EXPECT_EQ(0u, image.getPixel(0, -1));

  struct Case {
    int w, h, bits;
    bool ok;
  } cases[] = {{0, 5, 24, false}, {5, -1, 24, false}, {5, 5, 12, false}, {5, 5, 8, true}, {5, 5, 32, true}};
  for (const Case& c : cases) {
    DibImage image;
    EXPECT_EQ(c.ok, image.create(c.w, c.h, c.bits, 0)) << c.w << "x" << c.h << "x" << c.bits;
    EXPECT_EQ(c.ok ? c.w : 0, image.width());
  }
}

TEST(DibImage, CopiesFromADeviceContextOrLeavesNothingOnFailure)
{
  MemoryDC source(6, 6);
  SetPixel(source.dc, 4, 1, RGB(200, 10, 20));
  DibImage image;
  RECT part = {2, 1, 5, 3};
  ASSERT_TRUE(image.createFromDC(source.dc, &part));
  EXPECT_EQ(3, image.width());
  EXPECT_EQ(RGB(200, 10, 20), image.getPixel(2, 0));
  EXPECT_EQ(RGB(255, 255, 255), image.getPixel(0, 1));

  // A DC that cannot be copied from: the old image goes and no half-made one stays.
  EXPECT_FALSE(image.createFromDC(reinterpret_cast<HDC>(0x1234), &part));
  EXPECT_EQ(0, image.width());
  EXPECT_EQ(nullptr, image.getBits());
}

TEST(DibImage, DrawsBlocksCountedFromTheTopAndStretches)
{
  DibImage image;
  fillPattern(image, 4, 4);
  MemoryDC screen(8, 8);
  ASSERT_TRUE(image.draw(screen.dc, 5, 6, 2, 1, 1, 2));
  EXPECT_EQ(image.getPixel(1, 2), screen.pixel(5, 6));
  EXPECT_EQ(image.getPixel(2, 2), screen.pixel(6, 6));
  EXPECT_EQ(RGB(255, 255, 255), screen.pixel(5, 7));

  RECT src = {0, 2, 2, 4}, dst = {0, 0, 4, 4};
  ASSERT_TRUE(image.stretchDraw(screen.dc, &src, &dst));
  EXPECT_EQ(image.getPixel(0, 2), screen.pixel(0, 0));
  EXPECT_EQ(image.getPixel(1, 3), screen.pixel(3, 3));
}

TEST(DibImage, ScalesNearestAndSmooth)
{
  DibImage image;
  fillPattern(image, 4, 4);
  DibImage half;
  ASSERT_TRUE(half.create(2, 2, 24, 0));
  image.scaleNearest(&half);
  for (int i : {0, 1, 3})
    EXPECT_EQ(image.getPixel(i % 2 * 2, i / 2 * 2), half.getPixel(i % 2, i / 2)) << i;

  // Doubling: target pixel 1 samples 0.5, so it mixes source 0 and 1 half and half.
  std::unique_ptr<DibImage> doubled(image.scaledCopy(8, 8));
  EXPECT_EQ(RGB(8, 0, 6), doubled->getPixel(1, 0));  // each weighted part truncated
  EXPECT_EQ(RGB(0, 0, 7), doubled->getPixel(0, 0));
  EXPECT_EQ(0, std::unique_ptr<DibImage>(image.scaledCopy(0, 3))->width());
}

TEST(DibImage, CachesScaledCopiesBySize)
{
  DibImage image;
  fillPattern(image, 4, 4);
  MemoryDC screen(16, 16);
  RECT src = {0, 0, 4, 4};
  RECT same = {0, 0, 4, 4}, twice = {0, 0, 8, 8}, thrice = {0, 0, 12, 12}, quad = {0, 0, 16, 16};

  image.drawCached(screen.dc, &src, &same, 2);
  EXPECT_EQ(nullptr, image.cacheEntry(0));

  image.drawCached(screen.dc, &src, &twice, 2);
  const DibImage::CacheEntry* first = image.cacheEntry(0);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(8, first->width);
  DibImage* firstCopy = first->copy;
  EXPECT_EQ(firstCopy->getPixel(7, 7), screen.pixel(7, 7));

  auto widths = [&image]() { return std::vector<int>{image.cacheEntry(0)->width, image.cacheEntry(1)->width}; };
  image.drawCached(screen.dc, &src, &thrice, 2);
  EXPECT_EQ((std::vector<int>{12, 8}), widths());  // the used copy moves to the front

  image.drawCached(screen.dc, &src, &twice, 2);
  EXPECT_EQ(firstCopy, image.cacheEntry(0)->copy);  // found, not scaled again

  image.drawCached(screen.dc, &src, &quad, 2);  // full: the last slot makes room
  EXPECT_EQ((std::vector<int>{16, 8}), widths());

  image.drawCached(screen.dc, &src, &twice, 0);
  EXPECT_EQ(nullptr, image.cacheEntry(0));
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

TEST(DibImage, RegionHoldsThePixelsOffTheKey)
{
  DibImage image;
  fill(image, 6, 5, [](int, int) { return RGB(0, 255, 0); });
  // The range runs from key - tolerance up to the key, not beyond it.
  RECT box;
  HRGN none = image.createRegion(RGB(0, 255, 0), RGB(0, 10, 0), nullptr);
  EXPECT_EQ(NULLREGION, GetRgnBox(none, &box));
  DeleteObject(none);
  HRGN all = image.createRegion(RGB(0, 250, 0), RGB(0, 10, 0), nullptr);
  EXPECT_EQ(SIMPLEREGION, GetRgnBox(all, &box));
  EXPECT_EQ(6, box.right);
  DeleteObject(all);

  for (int x = 1; x < 5; ++x)
    image.setPixel(x, 2, RGB(255, 0, 0));
  HRGN row = image.createRegion(RGB(0, 255, 0), 0, nullptr);
  EXPECT_EQ(SIMPLEREGION, GetRgnBox(row, &box));  // one rectangle
  EXPECT_EQ((std::vector<LONG>{1, 2, 5, 3}), (std::vector<LONG>{box.left, box.top, box.right, box.bottom}));
  DeleteObject(row);

  // A checkerboard of 3000 runs: more than one batch and many buffer growths.
  fill(image, 100, 60, [](int x, int y) { return (x + y) % 2 ? RGB(255, 255, 255) : 0; });
  HRGN checkerboard = image.createRegion(0, 0, nullptr);
  EXPECT_TRUE(PtInRegion(checkerboard, 1, 0));
  EXPECT_FALSE(PtInRegion(checkerboard, 0, 0));
  EXPECT_TRUE(PtInRegion(checkerboard, 98, 59));
  EXPECT_FALSE(PtInRegion(checkerboard, 99, 59));
  DeleteObject(checkerboard);
}
