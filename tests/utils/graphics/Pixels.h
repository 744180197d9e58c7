#pragma once

// Pixel checks: a white image surface with its pixels as 0xRRGGBB, and a
// white memory DC on a DIB section.

#include "GraphicsContext.h"

#include <windows.h>

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

  unsigned pixel(int x, int y)
  {
    std::vector<unsigned char> bytes(_width * _height * 3);
    _surface->getRGB(bytes.data(), bytes.size());
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

struct MemoryDC {
  HDC dc;
  HGDIOBJ old;
  MemoryDC(int w, int h, int bitsPerPixel = 24)
  {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bitsPerPixel), BI_RGB, 0, 0, 0, 0, 0};
    void* bits;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, section);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
  }
  ~MemoryDC()
  {
    DeleteObject(SelectObject(dc, old));
    DeleteDC(dc);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  COLORREF pixel(int x, int y) { return GetPixel(dc, x, y); }
};
