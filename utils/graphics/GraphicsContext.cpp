#include "GraphicsContext.h"

#include "Assert.h"
#include "GraphicsLog.h"
#include "Log.h"
#include "StringUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

const int GRAPHICS_LOG_KEY = LogRegisterKey("D_Graphics", false);

void GraphicsContext::drawPath(GraphicsPath* path)
{
  path->draw(this);
}

CairoGraphicsContext::CairoGraphicsContext(cairo_surface_t* surface)
    : _cairo(nullptr),
      _fontExtents(),
      _fontFlags(0),
      _target(surface),
      _font(L"Arial", 10, 0),
      _fillIsGradient(false),
      _handDrawn(false)
{
  _cairo = cairo_create(surface);
  setFont(GraphicsFont(L"Arial", 10.0, 0));
  setFillColour(Colour(0, 0, 0, 1));
  setPen(Pen(Colour(0, 0, 0, 1), 1.0, 0));
  setTextColour(Colour(0, 0, 0, 1));
  setTextBackground(TRANSPARENT_COLOUR);
}

CairoGraphicsContext::~CairoGraphicsContext()
{
  cairo_destroy(_cairo);
}

void CairoGraphicsContext::setFont(const GraphicsFont& font)
{
  _font = font;
  cairo_select_font_face(_cairo, Utf8FromWide(font.face).get(),
                         (font.flags & FONT_ITALIC) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         (font.flags & FONT_BOLD) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(_cairo, font.size);
  cairo_font_extents(_cairo, &_fontExtents);
  _fontFlags = font.flags;
}

void CairoGraphicsContext::setFillGradient(const Gradient& gradient)
{
  _gradient = gradient;
  _fillIsGradient = true;
}

void CairoGraphicsContext::setFillColour(const Colour& colour)
{
  _fillColour = colour;
  _fillIsGradient = false;
}

Point CairoGraphicsContext::snapToPixel(const Point& point)
{
  double dx = 1.0, dy = 0.0;
  cairo_user_to_device_distance(_cairo, &dx, &dy);
  if (dx < 0.5)
    return point;
  double x = point.x, y = point.y;
  cairo_user_to_device(_cairo, &x, &y);
  x = ceil(x + 0.5) + 0.5;
  y = ceil(y + 0.5) + 0.5;
  cairo_device_to_user(_cairo, &x, &y);
  return Point(x, y);
}

void CairoGraphicsContext::applyColour(const Colour& colour)
{
  cairo_set_source_rgba(_cairo, colour.r, colour.g, colour.b, colour.a);
}

void CairoGraphicsContext::applyPen(const Pen& pen)
{
  applyColour(pen.colour);
  cairo_set_line_width(_cairo, pen.width);
  cairo_set_line_cap(_cairo, static_cast<cairo_line_cap_t>(pen.cap));
  if (pen.dashOn == 1.0 && pen.dashOff == 0.0) {
    cairo_set_dash(_cairo, nullptr, 0, 0.0);
  } else {
    const double dashes[2] = {pen.dashOn, pen.dashOff};
    cairo_set_dash(_cairo, dashes, 2, 0.0);
  }
}

void CairoGraphicsContext::fillAndStroke()
{
  if (_fillIsGradient) {
    cairo_pattern_t* pattern =
        cairo_pattern_create_linear(_gradient.start.x, _gradient.start.y, _gradient.end.x, _gradient.end.y);
    for (unsigned i = 0; i < _gradient.count; ++i) {
      const GradientStop& stop = _gradient.stops[i];
      cairo_pattern_add_color_stop_rgba(pattern, stop.offset, stop.colour.r, stop.colour.g, stop.colour.b,
                                        stop.colour.a);
    }
    cairo_set_source(_cairo, pattern);
    cairo_pattern_destroy(pattern);
    cairo_fill_preserve(_cairo);
  } else if (_fillColour.a > 0) {
    applyColour(_fillColour);
    cairo_fill_preserve(_cairo);
  }
  if (_pen.width > 0 && _pen.colour.a > 0) {
    applyPen(_pen);
    cairo_stroke(_cairo);
  } else {
    cairo_new_path(_cairo);
  }
}

namespace {

double randomUnit()
{
  return rand() / 32767.0;
}

// How far a hand-drawn stroke may stray: a twentieth of its length, at most 10.
double jitterOf(const Point& from, const Point& to)
{
  double length = sqrt((to.x - from.x) * (to.x - from.x) + (to.y - from.y) * (to.y - from.y));
  return std::min(length / 20.0, 10.0);
}

// A point at fraction t of the way from a to b.
Point between(const Point& a, const Point& b, double t)
{
  return Point(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t);
}

}

// One control point on each side of the straight line, each at a random
// distance along it.
void CairoGraphicsContext::handDrawnCurve(const Point& from, const Point& to, double jitter)
{
  Point first = between(Point(from.x + jitter, from.y + jitter), Point(to.x + jitter, to.y + jitter), randomUnit());
  Point second = between(Point(from.x - jitter, from.y - jitter), Point(to.x - jitter, to.y - jitter), randomUnit());
  cairo_curve_to(_cairo, first.x, first.y, second.x, second.y, to.x, to.y);
}

void CairoGraphicsContext::handDrawnLineTo(const Point& to)
{
  double x, y;
  cairo_get_current_point(_cairo, &x, &y);
  Point from(x, y);
  handDrawnCurve(from, to, jitterOf(from, to));
}

// Unlike handDrawnLineTo, the end overshoots a little too.
void CairoGraphicsContext::handDrawnLine(const Point& from, Point to)
{
  double jitter = jitterOf(from, to);
  to.x += randomUnit() * jitter / 4.0;
  to.y += randomUnit() * jitter / 4.0;
  cairo_move_to(_cairo, from.x, from.y);
  handDrawnCurve(from, to, jitter);
}

Size CairoGraphicsContext::measureText(const wchar_t* text)
{
  double height = _fontExtents.ascent + _fontExtents.descent;
  if (!text || !*text)
    return Size(0, height);
  cairo_text_extents_t extents;
  cairo_text_extents(_cairo, Utf8FromWide(text).get(), &extents);
  return Size(extents.x_advance + 1.0, height + 1.0);
}

void CairoGraphicsContext::drawText(const wchar_t* text, double x, double y)
{
  Point at = snapToPixel(Point(x, y));
  if (!text || !*text)
    return;
  Utf8FromWide utf8(text);
  bool underline = (_fontFlags & FONT_UNDERLINE) != 0;
  double ascent = _fontExtents.ascent;
  cairo_text_extents_t extents = {};
  if (_textBackground.a > 0 || underline)
    cairo_text_extents(_cairo, utf8.get(), &extents);
  if (_textBackground.a > 0) {
    applyColour(_textBackground);
    cairo_rectangle(_cairo, at.x, at.y, extents.x_advance, ascent + _fontExtents.descent);
    cairo_fill(_cairo);
  }
  applyColour(_textColour);
  cairo_move_to(_cairo, at.x, at.y + ascent);
  // The space keeps the last glyph's overhang from being cut.
  std::string shown = std::string(utf8.get()) + " ";
  cairo_show_text(_cairo, shown.c_str());
  cairo_new_path(_cairo);
  if (underline) {
    Point start = snapToPixel(Point(at.x, at.y + ascent + 1.0));
    Point end = snapToPixel(Point(at.x + extents.x_advance, at.y + ascent + 1.0));
    cairo_move_to(_cairo, at.x, start.y);
    cairo_line_to(_cairo, end.x, end.y);
    cairo_set_line_width(_cairo, 1.0);
    cairo_stroke(_cairo);
  }
}

void CairoGraphicsContext::getCharPositions(const wchar_t* text, double* positions)
{
  double total = 0.0;
  for (size_t i = 0; text && text[i]; ++i) {
    const wchar_t unit[2] = {text[i], 0};
    cairo_text_extents_t extents;
    cairo_text_extents(_cairo, Utf8FromWide(unit).get(), &extents);
    total += extents.x_advance;
    positions[i] = total;
  }
}

void CairoGraphicsContext::drawRect(const Rect& rect)
{
  Point upperLeft = snapToPixel(Point(rect.x, rect.y));
  Point lowerRight = snapToPixel(Point(rect.x + rect.w, rect.y + rect.h));
  if (_handDrawn) {
    handDrawnLine(upperLeft, Point(lowerRight.x, upperLeft.y));
    handDrawnLineTo(lowerRight);
    handDrawnLineTo(Point(upperLeft.x, lowerRight.y));
    handDrawnLineTo(upperLeft);
    cairo_close_path(_cairo);
  } else {
    cairo_rectangle(_cairo, upperLeft.x, upperLeft.y, lowerRight.x - upperLeft.x, lowerRight.y - upperLeft.y);
  }
  fillAndStroke();
}

void CairoGraphicsContext::drawRoundRect(const Rect& rect, double radius)
{
  // Slightly short of a right angle: cairo joins each arc to the next side
  // with a short straight piece, part of the look.
  const double QUARTER = 1.5705, HALF = 3.141;
  Point upperLeft = snapToPixel(Point(rect.x, rect.y));
  Point lowerRight = snapToPixel(Point(rect.x + rect.w, rect.y + rect.h));
  double x1 = upperLeft.x, y1 = upperLeft.y, x2 = lowerRight.x, y2 = lowerRight.y, r = radius;
  auto side = [this](double x, double y) {
    if (_handDrawn)
      handDrawnLineTo(Point(x, y));
    else
      cairo_line_to(_cairo, x, y);
  };
  cairo_move_to(_cairo, x1 + r, y1);
  side(x2 - r, y1);
  cairo_arc(_cairo, x2 - r, y1 + r, r, -QUARTER, 0);
  side(x2, y2 - r);
  cairo_arc(_cairo, x2 - r, y2 - r, r, 0, QUARTER);
  side(x1 + r, y2);
  cairo_arc(_cairo, x1 + r, y2 - r, r, QUARTER, HALF);
  side(x1, y1 + r);
  cairo_arc(_cairo, x1 + r, y1 + r, r, -HALF, -QUARTER);
  fillAndStroke();
}

void CairoGraphicsContext::drawPolygon(const Point* points, unsigned count)
{
  if (count == 0)
    return;
  Point first = snapToPixel(points[0]);
  cairo_move_to(_cairo, first.x, first.y);
  for (unsigned i = 1; i < count; ++i) {
    Point next = snapToPixel(points[i]);
    if (_handDrawn)
      handDrawnLineTo(next);
    else
      cairo_line_to(_cairo, next.x, next.y);
  }
  cairo_line_to(_cairo, first.x, first.y);
  fillAndStroke();
}

void CairoGraphicsContext::drawLine(const Point& from, const Point& to)
{
  if (_pen.width == 0 || !(_pen.colour.a > 0))
    return;
  Point start = snapToPixel(from);
  Point end = snapToPixel(to);
  if (_handDrawn) {
    handDrawnLine(start, end);
  } else {
    cairo_move_to(_cairo, start.x, start.y);
    cairo_line_to(_cairo, end.x, end.y);
  }
  applyPen(_pen);
  cairo_stroke(_cairo);
}

void CairoGraphicsContext::drawArc(const Point& upperLeft, const Size& size, double startDegrees, double endDegrees)
{
  const double PI_APPROX = 3.14159268;
  if (!(size.h > 0 && size.w > 0) || _pen.width == 0 || !(_pen.colour.a > 0))
    return;
  // Screen y grows downwards, so counter-clockwise angles are negated.
  double a = -startDegrees / 180.0 * PI_APPROX;
  double b = -endDegrees / 180.0 * PI_APPROX;
  cairo_save(_cairo);
  cairo_translate(_cairo, upperLeft.x + size.w / 2, upperLeft.y + size.h / 2);
  cairo_scale(_cairo, size.w / 2, size.h / 2);
  cairo_arc(_cairo, 0, 0, 1.0, b, a);
  cairo_restore(_cairo);
  // Stroked after the restore, so the pen width is not scaled.
  applyPen(_pen);
  cairo_stroke(_cairo);
}

void CairoGraphicsContext::arc(const Point& centre, double radius, double angle1, double angle2, bool forward)
{
  Point at = snapToPixel(centre);
  if (forward)
    cairo_arc(_cairo, at.x, at.y, radius, angle1, angle2);
  else
    cairo_arc_negative(_cairo, at.x, at.y, radius, angle1, angle2);
}

void CairoGraphicsContext::moveTo(const Point& point)
{
  Point at = snapToPixel(point);
  cairo_move_to(_cairo, at.x, at.y);
}

void CairoGraphicsContext::lineTo(const Point& point)
{
  Point at = snapToPixel(point);
  if (_handDrawn) {
    double x, y;
    cairo_get_current_point(_cairo, &x, &y);
    handDrawnLine(Point(x, y), at);
  } else {
    cairo_line_to(_cairo, at.x, at.y);
  }
}

void CairoGraphicsContext::translate(double dx, double dy)
{
  cairo_translate(_cairo, dx, dy);
}

void CairoGraphicsContext::scale(double sx, double sy)
{
  cairo_scale(_cairo, sx, sy);
}

void CairoGraphicsContext::drawImage(GraphicsContext* source, const Point& at)
{
  CairoGraphicsContext* cairoSource = dynamic_cast<CairoGraphicsContext*>(source);
  ASSERT(cairoSource);
  cairo_surface_t* image = cairoSource->getTarget();
  if (cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE) {
    LogPrintf(GRAPHICS_LOG_KEY, "drawImage: the source is not an image surface");
    return;
  }
  cairo_set_source_surface(_cairo, image, at.x, at.y);
  cairo_rectangle(_cairo, at.x, at.y, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image));
  cairo_fill(_cairo);
}

void CairoGraphicsContext::endPage()
{
  cairo_show_page(_cairo);
}

void CairoPrintContext::beginPage()
{
  StartPage(_hdc);
}

void CairoPrintContext::endPage()
{
  cairo_surface_flush(getTarget());
  cairo_show_page(_cairo);
  EndPage(_hdc);
}

