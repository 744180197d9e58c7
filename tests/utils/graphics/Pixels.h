#pragma once

// Image surfaces for pixel checks: a white image, and its pixels as 0xRRGGBB.

#include "GraphicsContext.h"

#include <memory>
#include <vector>

class Picture {
public:
  Picture(int width, int height, bool alpha = false)
      : _width(width), _height(height), _surface(createImageSurface(width, height, alpha))
  {
    GraphicsContext* context = _surface->getContext();
    context->setPen(NO_PEN);
    context->setFillColour(alpha ? TRANSPARENT_COLOUR : Colour(1, 1, 1, 1));
    context->drawRect(Rect(-2, -2, width + 2, height + 2));
    context->setPen(Pen());
  }

  GraphicsContext* context() { return _surface->getContext(); }
  GraphicsSurface* surface() { return _surface.get(); }

  std::vector<unsigned char> rgb()
  {
    std::vector<unsigned char> bytes(_width * _height * 3);
    _surface->getRGB(bytes.data(), bytes.size());
    return bytes;
  }

  unsigned pixel(int x, int y)
  {
    std::vector<unsigned char> bytes = rgb();
    const unsigned char* p = &bytes[(y * _width + x) * 3];
    return (p[0] << 16) | (p[1] << 8) | p[2];
  }

private:
  int _width, _height;
  std::unique_ptr<GraphicsSurface> _surface;
};

const unsigned WHITE = 0xffffff;
const unsigned BLACK = 0x000000;
const unsigned RED = 0xff0000;
const Colour RED_COLOUR(1, 0, 0, 1);
