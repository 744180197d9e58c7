// Draws one picture (no text: renderers pick their own fonts) as
// "picture.png", "picture.pdf" and "picture.svg" in the working folder.
#include "GraphicsContext.h"

#include <cstdio>
#include <memory>

namespace {

const int WIDTH = 160;
const int HEIGHT = 100;

void drawPicture(GraphicsContext* context)
{
  context->setPen(NO_PEN);
  context->setFillColour(Colour(1, 1, 1, 1));
  context->drawRect(Rect(-1, -1, WIDTH + 1, HEIGHT + 1));

  Gradient gradient;
  gradient.start = Point(10, 0);
  gradient.end = Point(110, 0);
  gradient.addStop(0, Colour(1, 0, 0, 1));
  gradient.addStop(1, Colour(0, 0, 1, 1));
  context->setFillGradient(gradient);
  context->drawRect(Rect(10, 10, 100, 20));

  context->setPen(Pen(Colour(0, 0, 0, 1), 2, 0));
  context->setFillColour(Colour(0, 0.6, 0, 1));
  GraphicsPath circle;
  circle.arc(Point(40, 65), 20, 0, 6.2831853, true);
  context->drawPath(&circle);

  context->setFillColour(Colour(1, 0.8, 0, 1));
  const Point triangle[] = {Point(80, 40), Point(150, 45), Point(100, 90)};
  context->drawPolygon(triangle, 3);

  context->setPen(Pen(Colour(0, 0, 0.5, 1), 4, 1));
  context->drawLine(Point(120, 10), Point(150, 30));
  context->setFillColour(TRANSPARENT_COLOUR);
  context->setPen(Pen(Colour(0.5, 0, 0.5, 1), 3, 0));
  context->drawRoundRect(Rect(70, 35, 85, 60), 8);
}

bool drawAndSave(GraphicsSurface* surface, const wchar_t* name)
{
  std::unique_ptr<GraphicsSurface> owned(surface);
  drawPicture(surface->getContext());
  if (surface->save(name))
    return true;
  fprintf(stderr, "could not write %ls\n", name);
  return false;
}

}

int main()
{
  bool written = drawAndSave(createImageSurface(WIDTH, HEIGHT, false), L"picture.png");
  written = drawAndSave(createPdfSurface(WIDTH, HEIGHT), L"picture.pdf") && written;
  written = drawAndSave(createSvgSurface(WIDTH, HEIGHT), L"picture.svg") && written;
  return written ? 0 : 1;
}
