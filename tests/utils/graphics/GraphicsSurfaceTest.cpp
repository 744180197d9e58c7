#include "GraphicsContext.h"
#include "Pixels.h"
#include "Portability.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <climits>
#include <string>
#include <vector>

namespace {

unsigned char* pixelBytes(GraphicsSurface* surface)
{
  cairo_surface_t* image = static_cast<CairoGraphicsContext*>(surface->getContext())->getTarget();
  cairo_surface_flush(image);
  return cairo_image_surface_get_data(image);
}

void markDirty(GraphicsSurface* surface)
{
  cairo_surface_mark_dirty(static_cast<CairoGraphicsContext*>(surface->getContext())->getTarget());
}

bool appendToString(void* userData, const unsigned char* data, unsigned length)
{
  static_cast<std::string*>(userData)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

}

TEST(GraphicsSurface, RgbExportIsRedGreenBlueOfTheNativePixels)
{
  Picture picture(2, 1, true);
  unsigned char* data = pixelBytes(picture.surface());
  const unsigned char native[8] = {0x10, 0x20, 0x30, 0xff, 0x01, 0x02, 0x03, 0xff};
  memcpy(data, native, sizeof native);
  markDirty(picture.surface());
  unsigned char rgb[6];
  ASSERT_TRUE(picture.surface()->getRGB(rgb, 6));
  const unsigned char expected[6] = {0x30, 0x20, 0x10, 0x03, 0x02, 0x01};
  EXPECT_EQ(0, memcmp(expected, rgb, 6));
  EXPECT_DEATH(picture.surface()->getRGB(rgb, 5), "size >= width \\* height \\* 3");
}

TEST(GraphicsSurface, BlurFadesTheBorderOfAUniformImage)
{
  Picture picture(10, 10, true);
  memset(pixelBytes(picture.surface()), 0xff, 10 * 10 * 4);
  markDirty(picture.surface());
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

// The PNG's pixels are checked by the documents test, which decodes it.
TEST(GraphicsSurface, SavesPngToFilesAndStreams)
{
  TestFolder folder;
  Picture picture(30, 20);
  picture.context()->setFillColour(RED_COLOUR);
  picture.context()->drawRoundRect(Rect(3, 3, 20, 12), 4);
  std::wstring path = folder.path(L"glow \u00e9\u65e5.png");
  ASSERT_TRUE(picture.surface()->save(path.c_str()));

  std::string streamed;
  EXPECT_TRUE(picture.surface()->writeToStream(appendToString, &streamed));
  EXPECT_EQ("\x89PNG", streamed.substr(0, 4));
  EXPECT_EQ(FileStat(path.c_str()).size(), static_cast<long long>(streamed.size()));

  std::wstring missing = folder.path(L"no such folder\\x.png");
  EXPECT_FALSE(picture.surface()->save(missing.c_str()));
  EXPECT_FALSE(fileExists(missing.c_str()));

  // An image cairo could not make draws nothing and writes no file.
  std::unique_ptr<GraphicsSurface> failed(createImageSurface(-3, 5, false));
  failed->getContext()->drawRect(Rect(0, 0, 2, 2));
  unsigned char rgb[3];
  EXPECT_FALSE(failed->getRGB(rgb, 3));
  std::wstring unmade = folder.path(L"unmade.png");
  EXPECT_FALSE(failed->save(unmade.c_str()));
  EXPECT_FALSE(fileExists(unmade.c_str()));
}

TEST(GraphicsSurface, PaintDcSurfaceDrawsIntoTheDc)
{
  MemoryDC window(30, 30, 32);
  GraphicsSurface* surface = createPaintDcSurface(window.dc);
  surface->getContext()->setPen(NO_PEN);
  surface->getContext()->setFillColour(RED_COLOUR);
  surface->getContext()->drawRect(Rect(10, 10, 10, 10));
  delete surface;

  EXPECT_EQ(RGB(255, 0, 0), window.pixel(15, 15));
  EXPECT_EQ(RGB(255, 255, 255), window.pixel(10, 15));
}

TEST(GraphicsSurface, PrintSurfaceRecordsPagesInAMetafile)
{
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  // Wine's metafile DC reports an empty clip box, which cairo takes as the page.
  IntersectClipRect(dc, 0, 0, 100, 100);
  GraphicsSurface* surface = createPrintSurface(dc);
  GraphicsContext* context = surface->getContext();
  context->beginPage();
  context->setPen(NO_PEN);
  context->setFillColour(RED_COLOUR);
  context->drawRect(Rect(20, 20, 40, 40));
  context->endPage();
  delete surface;
  HENHMETAFILE metafile = CloseEnhMetaFile(dc);
  ASSERT_NE(nullptr, metafile);
  // The recorded bounds are those of the snapped square, (21.5, 21.5) to (61.5, 61.5).
  ENHMETAHEADER header;
  ASSERT_TRUE(GetEnhMetaFileHeader(metafile, sizeof header, &header));
  EXPECT_NEAR(21, header.rclBounds.left, 1);
  EXPECT_NEAR(61, header.rclBounds.right, 1);
  EXPECT_NEAR(61, header.rclBounds.bottom, 1);

  MemoryDC screen(100, 100);
  // Played back into its own bounds, the picture keeps its size and place.
  RECT frame = {header.rclBounds.left, header.rclBounds.top, header.rclBounds.right + 1, header.rclBounds.bottom + 1};
  PlayEnhMetaFile(screen.dc, metafile, &frame);
  EXPECT_EQ(RGB(255, 0, 0), screen.pixel(40, 40));
  EXPECT_EQ(RGB(255, 255, 255), screen.pixel(5, 5));
  DeleteEnhMetaFile(metafile);
}

TEST(GraphicsSurface, ClipboardGetsABottomUpDibWithPaddedRows)
{
  GraphicsSurface* surface = createClipboardSurface(5, 3);
  GraphicsContext* context = surface->getContext();
  context->setPen(NO_PEN);
  context->setFillColour(Colour(0, 0, 1, 1));
  context->drawRect(Rect(-2, -2, 8, 6));
  context->setFillColour(RED_COLOUR);
  context->drawRect(Rect(-2, -2, 2, 2));  // the top left pixel
  ASSERT_TRUE(surface->copyToClipboard(nullptr));
  delete surface;

  ASSERT_TRUE(OpenClipboard(nullptr));
  HGLOBAL dib = GetClipboardData(CF_DIB);
  ASSERT_NE(nullptr, dib);
  EXPECT_EQ(40u + 3 * 16, GlobalSize(dib));
  const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(dib));
  EXPECT_EQ((std::vector<LONG>{5, 3, 24}), (std::vector<LONG>{header->biWidth, header->biHeight, header->biBitCount}));
  const unsigned char* rows = reinterpret_cast<const unsigned char*>(header + 1);
  const unsigned char blue[3] = {0xff, 0, 0}, red[3] = {0, 0, 0xff};
  EXPECT_EQ(0, memcmp(blue, rows, 3));            // bottom left
  EXPECT_EQ(0, memcmp(red, rows + 2 * 16, 3));    // top left, two padded rows on
  EXPECT_EQ(0, memcmp(blue, rows + 2 * 16 + 12, 3));
  GlobalUnlock(dib);
  CloseClipboard();
}

TEST(GraphicsSurface, PdfDocumentGrowsOrRefusesAPieceAndIsWrittenWhole)
{
  TestFolder folder;
  GraphicsPdfSurface pdf(200, 200, false);
  GraphicsContext* context = pdf.getContext();
  srand(7);
  for (int i = 0; i < 4000; ++i) {
    context->setPen(Pen(Colour(rand() % 256 / 255.0, 0, 0, 1), 1 + rand() % 3, 0));
    context->drawLine(Point(rand() % 200, rand() % 200), Point(rand() % 200, rand() % 200));
  }
  std::wstring path = folder.path(L"lines \u00e9.pdf");
  ASSERT_TRUE(pdf.save(path.c_str()));
  EXPECT_GT(pdf.bytesUsed(), 32768u);
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

