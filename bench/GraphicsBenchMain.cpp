// The drawing layer's cost: a welcome-panel-sized paint (400 × 300: a
// gradient background, two glowing texts, three plain texts) through an
// image surface, next to the same drawing with plain cairo calls in the
// same run; and the box blur's throughput at radius 2. Writes the layer's
// panel to "welcome-panel.png".
#include "GraphicsContext.h"

#include <windows.h>

#include <cairo.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const int WIDTH = 400;
const int HEIGHT = 300;
const double GLOW_RADIUS = 2.0;
const double RUN_SECONDS = 2.0;

const wchar_t* TITLE = L"Talveno Viridude Media Server";
const wchar_t* LINES[] = {L"Connect your ipod/iphone to your WI-FI network.", L"Then go to this address in its browser",
                          L"to see your videos."};
const wchar_t* ADDRESS = L"http://192.168.1.10:1025";

double seconds()
{
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// Paints per second of `paint`, run for a while after one warm-up.
template <typename Paint>
double rate(Paint paint)
{
  paint();
  int count = 0;
  double start = seconds(), elapsed;
  do {
    paint();
    ++count;
    elapsed = seconds() - start;
  } while (elapsed < RUN_SECONDS);
  return count / elapsed;
}

// ---- through the layer

void drawGlowText(GraphicsContext* context, const wchar_t* text, double x, double y)
{
  double r = GLOW_RADIUS;
  Size size = context->measureText(text);
  std::unique_ptr<GraphicsSurface> halo(createImageSurface(static_cast<int>(size.w + 4 * r),
                                                           static_cast<int>(size.h + 4 * r), true));
  halo->getContext()->setTextColour(Colour(1, 1, 1, 1));
  halo->getContext()->setFont(context->getFont());
  halo->getContext()->drawText(text, 2 * r, 2 * r);
  halo->blur(r);
  halo->blur(r);
  context->drawImage(halo->getContext(), Point(x + 2 - 2 * r, y + 2 - 2 * r));
  context->drawText(text, x, y);
}

void paintWithLayer(GraphicsSurface* surface)
{
  GraphicsContext* context = surface->getContext();
  context->setPen(NO_PEN);
  context->setTextColour(Colour(1, 1, 1, 1));
  context->setFont(GraphicsFont(L"Arial", 20.0, 0));
  Gradient gradient;
  gradient.end = Point(0, HEIGHT);
  gradient.addStop(0.0, Colour(0, 0, 0, 1));
  gradient.addStop(0.5, Colour(0, 0, 0, 1));
  gradient.addStop(1.0, Colour(86 / 255.0, 104 / 255.0, 144 / 255.0, 1));
  context->setFillGradient(gradient);
  context->drawRect(Rect(-1, -1, WIDTH + 1, HEIGHT + 1));
  drawGlowText(context, TITLE, 10, 10);
  context->setFont(GraphicsFont(L"Arial", 15.0, 0));
  context->setTextColour(Colour(1, 1, 0, 1));
  for (int i = 0; i < 3; ++i)
    context->drawText(LINES[i], 10, 90 + 15 * i);
  context->setFont(GraphicsFont(L"Arial", 20.0, 0));
  drawGlowText(context, ADDRESS, 200 - context->measureText(ADDRESS).w / 2, 170);
}

// ---- with plain cairo calls

void setFont(cairo_t* cairo, double size)
{
  cairo_select_font_face(cairo, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cairo, size);
}

void showText(cairo_t* cairo, const std::string& text, double x, double y)
{
  cairo_font_extents_t font;
  cairo_font_extents(cairo, &font);
  cairo_move_to(cairo, x, y + font.ascent);
  cairo_show_text(cairo, text.c_str());
}

void plainGlowText(cairo_t* cairo, const std::string& text, double x, double y)
{
  double r = GLOW_RADIUS;
  cairo_text_extents_t extents;
  cairo_font_extents_t font;
  cairo_text_extents(cairo, text.c_str(), &extents);
  cairo_font_extents(cairo, &font);
  int w = static_cast<int>(extents.x_advance + 1 + 4 * r), h = static_cast<int>(font.ascent + font.descent + 1 + 4 * r);
  cairo_surface_t* halo = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* haloCairo = cairo_create(halo);
  setFont(haloCairo, 20.0);
  cairo_set_source_rgba(haloCairo, 1, 1, 1, 1);
  showText(haloCairo, text, 2 * r, 2 * r);
  cairo_destroy(haloCairo);
  cairo_surface_flush(halo);
  boxBlur(cairo_image_surface_get_data(halo), w, h, static_cast<int>(r));
  boxBlur(cairo_image_surface_get_data(halo), w, h, static_cast<int>(r));
  cairo_surface_mark_dirty(halo);
  cairo_set_source_surface(cairo, halo, x + 2 - 2 * r, y + 2 - 2 * r);
  cairo_rectangle(cairo, x + 2 - 2 * r, y + 2 - 2 * r, w, h);
  cairo_fill(cairo);
  cairo_surface_destroy(halo);
  cairo_set_source_rgba(cairo, 1, 1, 1, 1);
  showText(cairo, text, x, y);
}

void paintWithCairo(cairo_surface_t* surface)
{
  cairo_t* cairo = cairo_create(surface);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, HEIGHT);
  cairo_pattern_add_color_stop_rgba(gradient, 0.0, 0, 0, 0, 1);
  cairo_pattern_add_color_stop_rgba(gradient, 0.5, 0, 0, 0, 1);
  cairo_pattern_add_color_stop_rgba(gradient, 1.0, 86 / 255.0, 104 / 255.0, 144 / 255.0, 1);
  cairo_set_source(cairo, gradient);
  cairo_pattern_destroy(gradient);
  cairo_paint(cairo);
  setFont(cairo, 20.0);
  plainGlowText(cairo, "Talveno Viridude Media Server", 10, 10);
  setFont(cairo, 15.0);
  cairo_set_source_rgba(cairo, 1, 1, 0, 1);
  const char* lines[] = {"Connect your ipod/iphone to your WI-FI network.", "Then go to this address in its browser",
                         "to see your videos."};
  for (int i = 0; i < 3; ++i)
    showText(cairo, lines[i], 10, 90 + 15 * i);
  setFont(cairo, 20.0);
  cairo_text_extents_t extents;
  cairo_text_extents(cairo, "http://192.168.1.10:1025", &extents);
  plainGlowText(cairo, "http://192.168.1.10:1025", 200 - (extents.x_advance + 1) / 2, 170);
  cairo_destroy(cairo);
}

}

int main()
{
  std::unique_ptr<GraphicsSurface> layerSurface(createImageSurface(WIDTH, HEIGHT, false));
  double layer = rate([&] { paintWithLayer(layerSurface.get()); });
  layerSurface->save(L"welcome-panel.png");

  cairo_surface_t* plainSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, WIDTH, HEIGHT);
  double plain = rate([&] { paintWithCairo(plainSurface); });
  cairo_surface_destroy(plainSurface);
  printf("welcome panel %dx%d: %.0f paints/s through the layer, %.0f with plain cairo: ratio %.2f\n", WIDTH, HEIGHT,
         layer, plain, layer / plain);

  const int side = 1000;
  std::unique_ptr<GraphicsSurface> image(createImageSurface(side, side, true));
  image->getContext()->setFillColour(Colour(0.2, 0.4, 0.6, 0.8));
  image->getContext()->drawRect(Rect(100, 100, 700, 700));
  double blurs = rate([&] { image->blur(2.0); });
  printf("blur at radius 2: %.1f megapixels/s (%dx%d image)\n", blurs * side * side / 1e6, side, side);
  return 0;
}
