#pragma once

// The drawing context: shapes, text and images drawn over cairo, snapped to
// pixel centres and, on request, hand-drawn; the printer's kind adds pages.

#include "GraphicsValues.h"

#include <windows.h>

#include <cairo.h>

class GraphicsPath;

class GraphicsContext {
public:
  virtual ~GraphicsContext() {}
  virtual void setFont(const GraphicsFont& font) = 0;
  virtual GraphicsFont getFont() = 0;
  virtual void setFillGradient(const Gradient& gradient) = 0;
  virtual void setFillColour(const Colour& colour) = 0;
  virtual void setPen(const Pen& pen) = 0;
  virtual void setHandDrawn(bool on) = 0;
  // Width and height of the text's box, one unit more than the ink advance.
  virtual Size measureText(const wchar_t* text) = 0;
  virtual void setTextColour(const Colour& colour) = 0;
  virtual void setTextBackground(const Colour& colour) = 0;
  // (x, y) is the top-left corner of the text's box.
  virtual void drawText(const wchar_t* text, double x, double y) = 0;
  // positions[i] is the right edge of UTF-16 unit i.
  virtual void getCharPositions(const wchar_t* text, double* positions) = 0;
  virtual void drawRect(const Rect& rect) = 0;
  virtual void drawRoundRect(const Rect& rect, double radius) = 0;
  virtual void drawPolygon(const Point* points, unsigned count) = 0;
  virtual void drawLine(const Point& from, const Point& to) = 0;
  // Counter-clockwise on screen, in degrees, on the ellipse inside the box.
  virtual void drawArc(const Point& upperLeft, const Size& size, double startDegrees, double endDegrees) = 0;
  void drawPath(GraphicsPath* path);
  virtual void beginPath() = 0;
  virtual void arc(const Point& centre, double radius, double angle1, double angle2, bool forward) = 0;
  virtual void moveTo(const Point& point) = 0;
  virtual void lineTo(const Point& point) = 0;
  // Fills and strokes the path built since beginPath.
  virtual void endPath() = 0;
  virtual void translate(double dx, double dy) = 0;
  virtual void scale(double sx, double sy) = 0;
  virtual void drawImage(GraphicsContext* source, const Point& at) = 0;
  virtual void beginPage() = 0;
  virtual void endPage() = 0;
};

class CairoGraphicsContext : public GraphicsContext {
public:
  explicit CairoGraphicsContext(cairo_surface_t* surface);
  ~CairoGraphicsContext() override;
  CairoGraphicsContext(const CairoGraphicsContext&) = delete;
  CairoGraphicsContext& operator=(const CairoGraphicsContext&) = delete;

  void setFont(const GraphicsFont& font) override;
  GraphicsFont getFont() override { return _font; }
  void setFillGradient(const Gradient& gradient) override;
  void setFillColour(const Colour& colour) override;
  void setPen(const Pen& pen) override { _pen = pen; }
  void setHandDrawn(bool on) override { _handDrawn = on; }
  Size measureText(const wchar_t* text) override;
  void setTextColour(const Colour& colour) override { _textColour = colour; }
  void setTextBackground(const Colour& colour) override { _textBackground = colour; }
  void drawText(const wchar_t* text, double x, double y) override;
  void getCharPositions(const wchar_t* text, double* positions) override;
  void drawRect(const Rect& rect) override;
  void drawRoundRect(const Rect& rect, double radius) override;
  void drawPolygon(const Point* points, unsigned count) override;
  void drawLine(const Point& from, const Point& to) override;
  void drawArc(const Point& upperLeft, const Size& size, double startDegrees, double endDegrees) override;
  void beginPath() override {}
  void arc(const Point& centre, double radius, double angle1, double angle2, bool forward) override;
  void moveTo(const Point& point) override;
  void lineTo(const Point& point) override;
  void endPath() override { fillAndStroke(); }
  void translate(double dx, double dy) override;
  void scale(double sx, double sy) override;
  void drawImage(GraphicsContext* source, const Point& at) override;
  void beginPage() override {}
  void endPage() override;

  cairo_surface_t* getTarget() const { return _target; }
  // Moves a point to the centre of a device pixel, unless one user unit is
  // under half a pixel.
  Point snapToPixel(const Point& point);

protected:
  cairo_t* _cairo;

private:
  void applyColour(const Colour& colour);
  void applyPen(const Pen& pen);
  void fillAndStroke();
  void handDrawnLineTo(const Point& to);
  void handDrawnLine(const Point& from, Point to);
  void handDrawnCurve(const Point& from, const Point& to, double jitter);

  cairo_font_extents_t _fontExtents;
  int _fontFlags;
  Colour _fillColour;
  Pen _pen;
  Colour _textColour;
  Colour _textBackground;
  cairo_surface_t* _target;  // owned by the surface that made this context
  GraphicsFont _font;
  bool _fillIsGradient;
  Gradient _gradient;
  bool _handDrawn;
};

// Adds the page calls of a Windows printer DC, which the caller owns.
class CairoPrintContext : public CairoGraphicsContext {
public:
  CairoPrintContext(cairo_surface_t* surface, HDC hdc) : CairoGraphicsContext(surface), _hdc(hdc) {}
  void beginPage() override;
  void endPage() override;

private:
  HDC _hdc;
};

// Callers of this header get the whole drawing layer. At the end, since both
// headers need the context above.
#include "GraphicsPath.h"
#include "GraphicsSurface.h"
