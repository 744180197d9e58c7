#include "GraphicsSurface.h"
#include "Pixels.h"
#include "Portability.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <climits>
#include <string>

namespace {

unsigned char* pixelBytes(GraphicsSurface* surface)
{
  cairo_surface_t* image = static_cast<CairoGraphicsContext*>(surface->getContext())->getTarget();
  cairo_surface_flush(image);
  return cairo_image_surface_get_data(image);
}

}

TEST(GraphicsSurface, BlurFadesTheBorderOfAUniformImage)
{
  Picture picture(10, 10, true);
  memset(pixelBytes(picture.surface()), 0xff, 10 * 10 * 4);
  cairo_surface_mark_dirty(static_cast<CairoGraphicsContext*>(picture.context())->getTarget());
  // Under 1 the box would have no size (a division by zero): nothing changes.
  picture.surface()->blur(0.5);
  EXPECT_EQ(WHITE, picture.pixel(0, 0));

  picture.surface()->blur(2.0);
  const unsigned char* data = pixelBytes(picture.surface());
  // The share of each pixel's 4 × 4 box that the clamped look-ups count.
  struct Case {
    int x, y, value;
  } cases[] = {{5, 5, 255}, {2, 7, 255}, {0, 5, 127}, {1, 5, 191}, {9, 5, 127}, {5, 0, 127}, {0, 0, 63}, {9, 9, 63}};
  for (const Case& c : cases)
    for (int channel = 0; channel < 4; ++channel)
      EXPECT_EQ(c.value, data[(c.y * 10 + c.x) * 4 + channel]) << c.x << "," << c.y << " channel " << channel;
}

TEST(GraphicsSurface, PaintDcSurfaceDrawsIntoTheDcAndSavesNoFile)
{
  MemoryDC window(30, 30, 32);
  GraphicsSurface* surface = createPaintDcSurface(window.dc);
  surface->getContext()->setPen(NO_PEN);
  surface->getContext()->setFillColour(RED_COLOUR);
  surface->getContext()->drawRect(Rect(10, 10, 10, 10));
  TestFolder folder;
  std::wstring path = folder.path(L"paint.png");
  EXPECT_FALSE(surface->save(path.c_str()));
  EXPECT_FALSE(fileExists(path.c_str()));
  delete surface;

  EXPECT_EQ(RGB(255, 0, 0), window.pixel(15, 15));
  EXPECT_EQ(RGB(255, 255, 255), window.pixel(10, 15));
}

TEST(GraphicsSurface, PdfDocumentGrowsOrRefusesAPieceAndIsWrittenWhole)
{
  TestFolder folder;
  GraphicsPdfSurface pdf(200, 200, false);
  // Far more than its first room in one piece: the room doubles until it fits.
  const std::string filler(100000, ' ');
  ASSERT_TRUE(pdf.append(reinterpret_cast<const unsigned char*>(filler.data()), filler.size()));
  pdf.getContext()->drawLine(Point(0, 0), Point(200, 200));
  std::wstring path = folder.path(L"lines \u00e9.pdf");
  ASSERT_TRUE(pdf.save(path.c_str()));
  EXPECT_GT(pdf.bytesUsed(), 100000u);
  EXPECT_EQ(static_cast<long long>(pdf.bytesUsed()), FileStat(path.c_str()).size());

  // A piece it cannot grow for is refused, and what it has stays.
  unsigned before = pdf.bytesUsed();
  const unsigned char piece[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(pdf.append(piece, UINT_MAX - 2));
  EXPECT_FALSE(pdf.append(piece, 0x90000000u));
  EXPECT_EQ(before, pdf.bytesUsed());
  EXPECT_TRUE(pdf.append(piece, 4));
  EXPECT_EQ(before + 4, pdf.bytesUsed());
}


TEST(GraphicsSurface, ASecondSaveWritesTheSameDocument)
{
  TestFolder folder;
  for (bool svg : {false, true}) {
    SCOPED_TRACE(svg ? "SVG" : "PDF");
    GraphicsPdfSurface document(100, 100, svg);
    document.getContext()->drawLine(Point(0, 0), Point(100, 50));
    ASSERT_TRUE(document.save(folder.path(L"first").c_str()));
    // The first save finished the document: drawing no longer changes it.
    document.getContext()->drawLine(Point(0, 100), Point(50, 0));
    ASSERT_TRUE(document.save(folder.path(L"second").c_str()));
    EXPECT_GT(folder.contents(L"first").size(), 100u);
    EXPECT_EQ(folder.contents(L"first"), folder.contents(L"second"));
  }
}
