#include "GraphicsContext.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "StringUtil.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo-win32.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

const int GRAPHICS_LOG_KEY = LogRegisterKey("D_Graphics", false);

const Colour TRANSPARENT_COLOUR(0, 0, 0, 0);
const Pen NO_PEN(TRANSPARENT_COLOUR, 0.0, 0);

// ---------------------------------------------------------------- values

namespace {

struct ColourName {
  const wchar_t* name;
  const wchar_t* value;
};

// Sorted by name without regard to case, for the binary search. Two values
// differ from CSS on purpose (mediumpurple, palevioletred): drawings made
// with the table rely on them.
const ColourName COLOUR_NAMES[] = {
  {L"aliceblue", L"#f0f8ff"}, {L"antiquewhite", L"#faebd7"}, {L"aqua", L"#00ffff"},
  {L"aquamarine", L"#7fffd4"}, {L"azure", L"#f0ffff"}, {L"beige", L"#f5f5dc"},
  {L"bisque", L"#ffe4c4"}, {L"black", L"#000000"}, {L"blanchedalmond", L"#ffebcd"},
  {L"blue", L"#0000ff"}, {L"blueviolet", L"#8a2be2"}, {L"brown", L"#a52a2a"},
  {L"burlywood", L"#deb887"}, {L"cadetblue", L"#5f9ea0"}, {L"chartreuse", L"#7fff00"},
  {L"chocolate", L"#d2691e"}, {L"coral", L"#ff7f50"}, {L"cornflowerblue", L"#6495ed"},
  {L"cornsilk", L"#fff8dc"}, {L"crimson", L"#dc143c"}, {L"cyan", L"#00ffff"},
  {L"darkblue", L"#00008b"}, {L"darkcyan", L"#008b8b"}, {L"darkgoldenrod", L"#b8860b"},
  {L"darkgray", L"#a9a9a9"}, {L"darkgreen", L"#006400"}, {L"darkkhaki", L"#bdb76b"},
  {L"darkmagenta", L"#8b008b"}, {L"darkolivegreen", L"#556b2f"}, {L"darkorange", L"#ff8c00"},
  {L"darkorchid", L"#9932cc"}, {L"darkred", L"#8b0000"}, {L"darksalmon", L"#e9967a"},
  {L"darkseagreen", L"#8fbc8f"}, {L"darkslateblue", L"#483d8b"}, {L"darkslategray", L"#2f4f4f"},
  {L"darkturquoise", L"#00ced1"}, {L"darkviolet", L"#9400d3"}, {L"deeppink", L"#ff1493"},
  {L"deepskyblue", L"#00bfff"}, {L"dimgray", L"#696969"}, {L"dodgerblue", L"#1e90ff"},
  {L"firebrick", L"#b22222"}, {L"floralwhite", L"#fffaf0"}, {L"forestgreen", L"#228b22"},
  {L"fuchsia", L"#ff00ff"}, {L"gainsboro", L"#dcdcdc"}, {L"ghostwhite", L"#f8f8ff"},
  {L"gold", L"#ffd700"}, {L"goldenrod", L"#daa520"}, {L"gray", L"#808080"},
  {L"green", L"#008000"}, {L"greenyellow", L"#adff2f"}, {L"honeydew", L"#f0fff0"},
  {L"hotpink", L"#ff69b4"}, {L"indianred", L"#cd5c5c"}, {L"indigo", L"#4b0082"},
  {L"ivory", L"#fffff0"}, {L"khaki", L"#f0e68c"}, {L"lavender", L"#e6e6fa"},
  {L"lavenderblush", L"#fff0f5"}, {L"lawngreen", L"#7cfc00"}, {L"lemonchiffon", L"#fffacd"},
  {L"lightblue", L"#add8e6"}, {L"lightcoral", L"#f08080"}, {L"lightcyan", L"#e0ffff"},
  {L"lightgoldenrodyellow", L"#fafad2"}, {L"lightgreen", L"#90ee90"}, {L"lightgrey", L"#d3d3d3"},
  {L"lightpink", L"#ffb6c1"}, {L"lightsalmon", L"#ffa07a"}, {L"lightseagreen", L"#20b2aa"},
  {L"lightskyblue", L"#87cefa"}, {L"lightslategray", L"#778899"}, {L"lightsteelblue", L"#b0c4de"},
  {L"lightyellow", L"#ffffe0"}, {L"lime", L"#00ff00"}, {L"limegreen", L"#32cd32"},
  {L"linen", L"#faf0e6"}, {L"magenta", L"#ff00ff"}, {L"maroon", L"#800000"},
  {L"mediumaquamarine", L"#66cdaa"}, {L"mediumblue", L"#0000cd"}, {L"mediumorchid", L"#ba55d3"},
  {L"mediumpurple", L"#9370d8"}, {L"mediumseagreen", L"#3cb371"}, {L"mediumslateblue", L"#7b68ee"},
  {L"mediumspringgreen", L"#00fa9a"}, {L"mediumturquoise", L"#48d1cc"}, {L"mediumvioletred", L"#c71585"},
  {L"midnightblue", L"#191970"}, {L"mintcream", L"#f5fffa"}, {L"mistyrose", L"#ffe4e1"},
  {L"moccasin", L"#ffe4b5"}, {L"navajowhite", L"#ffdead"}, {L"navy", L"#000080"},
  {L"oldlace", L"#fdf5e6"}, {L"olive", L"#808000"}, {L"olivedrab", L"#6b8e23"},
  {L"orange", L"#ffa500"}, {L"orangered", L"#ff4500"}, {L"orchid", L"#da70d6"},
  {L"palegoldenrod", L"#eee8aa"}, {L"palegreen", L"#98fb98"}, {L"paleturquoise", L"#afeeee"},
  {L"palevioletred", L"#d87093"}, {L"papayawhip", L"#ffefd5"}, {L"peachpuff", L"#ffdab9"},
  {L"peru", L"#cd853f"}, {L"pink", L"#ffc0cb"}, {L"plum", L"#dda0dd"},
  {L"powderblue", L"#b0e0e6"}, {L"purple", L"#800080"}, {L"red", L"#ff0000"},
  {L"rosybrown", L"#bc8f8f"}, {L"royalblue", L"#4169e1"}, {L"saddlebrown", L"#8b4513"},
  {L"salmon", L"#fa8072"}, {L"sandybrown", L"#f4a460"}, {L"seagreen", L"#2e8b57"},
  {L"seashell", L"#fff5ee"}, {L"sienna", L"#a0522d"}, {L"silver", L"#c0c0c0"},
  {L"skyblue", L"#87ceeb"}, {L"slateblue", L"#6a5acd"}, {L"slategray", L"#708090"},
  {L"snow", L"#fffafa"}, {L"springgreen", L"#00ff7f"}, {L"steelblue", L"#4682b4"},
  {L"tan", L"#d2b48c"}, {L"teal", L"#008080"}, {L"thistle", L"#d8bfd8"},
  {L"tomato", L"#ff6347"}, {L"turquoise", L"#40e0d0"}, {L"violet", L"#ee82ee"},
  {L"wheat", L"#f5deb3"}, {L"white", L"#ffffff"}, {L"whitesmoke", L"#f5f5f5"},
  {L"yellow", L"#ffff00"}, {L"yellowgreen", L"#9acd32"},
};
const int COLOUR_NAME_COUNT = sizeof(COLOUR_NAMES) / sizeof(COLOUR_NAMES[0]);
static_assert(COLOUR_NAME_COUNT == 140, "the colour-name table has 140 entries");

const Colour BAD_COLOUR(0.5, 0.0, 0.5, 0.5);
const unsigned MAX_NUMBER_CHARS = 31;

int hexDigit(wchar_t c)
{
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'a' && c <= L'f')
    return c - L'a' + 10;
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

// A cursor over colour text; every step either matches and moves on, or
// fails and leaves the position for the caller to reset.
class ColourParser {
public:
  explicit ColourParser(const wchar_t* text) : _text(text), _position(0) {}

  bool parse(Colour& out)
  {
    if (literal(L"#"))
      return hexColour(out);
    double r, g, b, a;
    if (literal(L"rgba(") && number(255, r) && literal(L",") && number(255, g) && literal(L",") &&
        number(255, b) && literal(L",") && number(1.0, a) && literal(L")")) {
      out = Colour(r / 255.0, g / 255.0, b / 255.0, a);
      return true;
    }
    _position = 0;
    if (literal(L"rgb(") && number(255, r) && literal(L",") && number(255, g) && literal(L",") &&
        number(255, b) && literal(L")")) {
      out = Colour(r / 255.0, g / 255.0, b / 255.0, 1.0);
      return true;
    }
    return false;
  }

private:
  bool literal(const wchar_t* text)
  {
    size_t length = wcslen(text);
    if (wcsncmp(_text + _position, text, length) != 0)
      return false;
    _position += length;
    return true;
  }

  bool hexColour(Colour& out)
  {
    unsigned start = _position;
    int channels[3];
    if (!(hexPair(channels[0]) && hexPair(channels[1]) && hexPair(channels[2]))) {
      _position = start;
      if (!(hexSingle(channels[0]) && hexSingle(channels[1]) && hexSingle(channels[2])))
        return false;
    }
    out = Colour(channels[0] / 255.0, channels[1] / 255.0, channels[2] / 255.0, 1.0);
    return true;
  }

  bool hexPair(int& value)
  {
    int high = hexDigit(_text[_position]);
    if (high < 0)
      return false;
    int low = hexDigit(_text[_position + 1]);
    if (low < 0)
      return false;
    value = high * 16 + low;
    _position += 2;
    return true;
  }

  bool hexSingle(int& value)
  {
    int digit = hexDigit(_text[_position]);
    if (digit < 0)
      return false;
    value = digit * 17;
    _position += 1;
    return true;
  }

  void skipSpace()
  {
    while (_text[_position] && iswspace(_text[_position]))
      ++_position;
  }

  static bool isNumberChar(wchar_t c) { return c == L'-' || c == L'.' || (c >= L'0' && c <= L'9'); }

  bool number(double maximum, double& value)
  {
    skipSpace();
    wchar_t collected[MAX_NUMBER_CHARS + 1];
    unsigned count = 0;
    while (isNumberChar(_text[_position])) {
      if (count == MAX_NUMBER_CHARS)
        return false;
      collected[count++] = _text[_position++];
    }
    collected[count] = 0;
    if (count == 0 || swscanf(collected, L"%lg", &value) != 1)
      return false;
    if (_text[_position] == L'%') {
      ++_position;
      value = value / 100.0 * maximum;
    }
    value = std::min(std::max(value, 0.0), maximum);
    skipSpace();
    return true;
  }

  const wchar_t* _text;
  unsigned _position;
};

}

const wchar_t* lookupColourName(const wchar_t* name)
{
  int low = -1, high = COLOUR_NAME_COUNT;
  while (high - low >= 2) {
    int middle = (low + high) / 2;
    int order = _wcsicmp(COLOUR_NAMES[middle].name, name);
    if (order == 0)
      return COLOUR_NAMES[middle].value;
    if (order > 0)
      high = middle;
    else
      low = middle;
  }
  return nullptr;
}

bool Colour::parse(const wchar_t* text)
{
  const wchar_t* given = text ? text : L"";
  const wchar_t* named = lookupColourName(given);
  ColourParser parser(named ? named : given);
  if (parser.parse(*this))
    return true;
  *this = BAD_COLOUR;
  fwprintf(stderr, L"Couldn't convert colour: '%ls'\n", given);
  return false;
}

GraphicsFont::GraphicsFont(const wchar_t* face, double size, int flags) : size(size), flags(flags)
{
  wcsncpy(this->face, face, 32);
  this->face[31] = 0;
}

void Gradient::addStop(double offset, const Colour& colour)
{
  ASSERT(count < MAX_GRADIENT_STOPS);
  stops[count].offset = offset;
  stops[count].colour = colour;
  ++count;
}

// ---------------------------------------------------------------- context

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

// ---------------------------------------------------------------- paths

GraphicsPath::GraphicsPath() : _commands(new std::vector<GraphicsPathCommand*>) {}

GraphicsPath::~GraphicsPath()
{
  for (GraphicsPathCommand* command : *_commands)
    delete command;
  delete _commands;
}

void GraphicsPath::moveTo(const Point& point)
{
  _commands->push_back(new GraphicsPathMoveToPoint(point));
}

void GraphicsPath::lineTo(const Point& point)
{
  _commands->push_back(new GraphicsPathLineToPoint(point));
}

void GraphicsPath::arc(const Point& centre, double radius, double angle1, double angle2, bool forward)
{
  _commands->push_back(new GraphicsPathArc(centre, radius, angle1, angle2, forward));
}

void GraphicsPath::draw(GraphicsContext* context)
{
  context->beginPath();
  for (GraphicsPathCommand* command : *_commands)
    command->execute(context);
  context->endPath();
}

// ---------------------------------------------------------------- surfaces

bool GraphicsSurface::writeToStream(PngWriteFunction, void*)
{
  ASSERT(!"only an image surface writes PNG to a stream");
  return false;
}

bool GraphicsSurface::save(const wchar_t* path)
{
  // A DC or clipboard surface has nothing to write: leave no empty file behind.
  if (!hasDocument()) {
    LogPrintf(GRAPHICS_LOG_KEY, "save: this kind of surface has no document to write");
    return false;
  }
  FILE* file = _wfopen(path, L"wb");
  if (!file) {
    fprintf(stderr, "Could not open '%ls' for writing.\n", path);
    return false;
  }
  bool written = writeToFile(file);
  written = fclose(file) == 0 && written;
  // A half-written file would pass for a picture or document.
  if (!written)
    DeleteFileW(path);
  return written;
}

bool GraphicsSurface::copyToClipboard(HWND)
{
  return false;
}

bool GraphicsSurface::getRGB(unsigned char*, unsigned)
{
  return false;
}

void GraphicsSurface::release()
{
  delete _context;
  _context = nullptr;
  cairo_surface_destroy(_surface);
  _surface = nullptr;
}

GraphicsImageSurface::GraphicsImageSurface(int width, int height, bool alpha)
{
  _surface = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
  _context = new CairoGraphicsContext(_surface);
}

namespace {

struct StreamWriter {
  PngWriteFunction write;
  void* userData;
};

cairo_status_t writeToCaller(void* closure, const unsigned char* data, unsigned int length)
{
  StreamWriter* writer = static_cast<StreamWriter*>(closure);
  return writer->write(writer->userData, data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

cairo_status_t writeToStdioFile(void* closure, const unsigned char* data, unsigned int length)
{
  return fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                        : CAIRO_STATUS_WRITE_ERROR;
}

// The pixels of an image surface for direct access, or null.
unsigned char* imageData(cairo_surface_t* surface)
{
  cairo_surface_flush(surface);
  return cairo_image_surface_get_data(surface);
}

}

bool GraphicsImageSurface::writeToStream(PngWriteFunction write, void* userData)
{
  StreamWriter writer = {write, userData};
  return cairo_surface_write_to_png_stream(_surface, writeToCaller, &writer) == CAIRO_STATUS_SUCCESS;
}

bool GraphicsImageSurface::writeToFile(FILE* file)
{
  cairo_status_t status = cairo_surface_write_to_png_stream(_surface, writeToStdioFile, file);
  if (status != CAIRO_STATUS_SUCCESS)
    LogPrintf(GRAPHICS_LOG_KEY, "ERROR: cairo_surface_write_to_png_stream() returned %d", status);
  return status == CAIRO_STATUS_SUCCESS;
}

bool GraphicsImageSurface::getRGB(unsigned char* buffer, unsigned size)
{
  const unsigned char* data = imageData(_surface);
  if (!data) {
    LogPrintf(GRAPHICS_LOG_KEY, "getRGB: the image has no pixels");
    return false;
  }
  cairo_format_t format = cairo_image_surface_get_format(_surface);
  ASSERT(format == CAIRO_FORMAT_RGB24 || format == CAIRO_FORMAT_ARGB32);
  unsigned width = cairo_image_surface_get_width(_surface);
  unsigned height = cairo_image_surface_get_height(_surface);
  ASSERT(size >= width * height * 3);
  unsigned pixels = width * height;
  // Native 32-bit pixels: on this little-endian machine blue comes first.
  for (unsigned i = 0; i < pixels; ++i) {
    const unsigned char* pixel = data + i * 4;
    buffer[i * 3] = pixel[2];
    buffer[i * 3 + 1] = pixel[1];
    buffer[i * 3 + 2] = pixel[0];
  }
  return true;
}

namespace {

// Sums of one byte channel over the rectangle from (0, 0) to each pixel;
// look-ups outside the image take the nearest edge entry.
class SummedArea {
public:
  SummedArea(unsigned* table, int width, int height) : _table(table), _width(width), _height(height) {}

  void build(const unsigned char* pixels, int channel)
  {
    for (int y = 0; y < _height; ++y) {
      for (int x = 0; x < _width; ++x) {
        unsigned sum = pixels[(y * _width + x) * 4 + channel];
        if (x > 0)
          sum += at(x - 1, y);
        if (y > 0)
          sum += at(x, y - 1);
        if (x > 0 && y > 0)
          sum -= at(x - 1, y - 1);
        at(x, y) = sum;
      }
    }
  }

  unsigned clamped(int x, int y) const
  {
    return _table[std::min(std::max(y, 0), _height - 1) * _width + std::min(std::max(x, 0), _width - 1)];
  }

private:
  unsigned& at(int x, int y) { return _table[y * _width + x]; }

  unsigned* _table;
  int _width, _height;
};

}

bool boxBlur(unsigned char* pixels, int width, int height, int radius)
{
  // A box of no size would divide by zero: there is nothing to blur.
  if (radius < 1 || !pixels || width <= 0 || height <= 0)
    return false;
  size_t bytes = static_cast<size_t>(width) * height * 4;
  unsigned char* output = static_cast<unsigned char*>(DEBUG_MALLOC(bytes));
  unsigned* table = static_cast<unsigned*>(DEBUG_MALLOC(static_cast<size_t>(width) * height * sizeof(unsigned)));
  bool blurred = output && table;
  if (!blurred) {
    LogPrintf(GRAPHICS_LOG_KEY, "blur: no memory for a %dx%d image", width, height);
  } else {
    memcpy(output, pixels, bytes);
    SummedArea sums(table, width, height);
    const int r = radius;
    const float scale = static_cast<float>(1.0 / ((2.0 * r) * (2.0 * r)));
    for (int channel = 0; channel < 4; ++channel) {
      sums.build(pixels, channel);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          // Unsigned arithmetic wraps, and the true total fits, so it is exact.
          unsigned total = sums.clamped(x + r, y + r) + sums.clamped(x - r, y - r) -
                           sums.clamped(x - r, y + r) - sums.clamped(x + r, y - r);
          output[(y * width + x) * 4 + channel] = static_cast<unsigned char>(static_cast<unsigned>(total * scale));
        }
      }
    }
    memcpy(pixels, output, bytes);
  }
  DEBUG_FREE(output);
  DEBUG_FREE(table);
  return blurred;
}

void GraphicsImageSurface::blur(double radius)
{
  if (boxBlur(imageData(_surface), cairo_image_surface_get_width(_surface),
              cairo_image_surface_get_height(_surface), static_cast<int>(radius)))
    cairo_surface_mark_dirty(_surface);
}

GraphicsPaintDcSurface::GraphicsPaintDcSurface(HDC hdc, bool printing)
{
  if (printing) {
    _surface = cairo_win32_printing_surface_create(hdc);
    _context = new CairoPrintContext(_surface, hdc);
  } else {
    _surface = cairo_win32_surface_create(hdc);
    _context = new CairoGraphicsContext(_surface);
  }
}

GraphicsClipboardSurface::GraphicsClipboardSurface(int width, int height)
{
  _surface = cairo_win32_surface_create_with_dib(CAIRO_FORMAT_RGB24, width, height);
  _context = new CairoGraphicsContext(_surface);
}

namespace {

const LONG PIXELS_PER_METRE = 3780;  // 96 dots per inch

// A handle to a packed 24-bit bottom-up DIB of the image, or null.
HGLOBAL packDib(const unsigned char* data, int width, int height, int stride)
{
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biXPelsPerMeter = PIXELS_PER_METRE;
  header.biYPelsPerMeter = PIXELS_PER_METRE;
  int pad = (4 - (3 * width) % 4) % 4;
  size_t imageBytes = static_cast<size_t>(width) * height * 3 + static_cast<size_t>(height) * pad;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(header) + imageBytes);
  if (!memory)
    return nullptr;
  unsigned char* out = static_cast<unsigned char*>(GlobalLock(memory));
  memcpy(out, &header, sizeof(header));
  out += sizeof(header);
  for (int y = height - 1; y >= 0; --y) {
    const unsigned char* row = data + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      memcpy(out, row + x * 4, 3);
      out += 3;
    }
    out += pad;
  }
  GlobalUnlock(memory);
  return memory;
}

}

bool GraphicsClipboardSurface::copyToClipboard(HWND owner)
{
  cairo_surface_t* image = cairo_win32_surface_get_image(_surface);
  const unsigned char* data = image ? imageData(image) : nullptr;
  if (!data) {
    LogPrintf(GRAPHICS_LOG_KEY, "copyToClipboard: the surface has no pixels");
    return false;
  }
  ASSERT(cairo_image_surface_get_format(image) == CAIRO_FORMAT_RGB24);
  HGLOBAL dib = packDib(data, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image),
                        cairo_image_surface_get_stride(image));
  if (!dib)
    return false;
  // Packed before the clipboard is emptied, so a failure leaves its content alone.
  bool handedOver = false;
  if (OpenClipboard(owner)) {
    handedOver = EmptyClipboard() && SetClipboardData(CF_DIB, dib);
    CloseClipboard();
  }
  if (!handedOver)
    GlobalFree(dib);
  return handedOver;
}

namespace {

const unsigned DOCUMENT_START_CAPACITY = 32768;

cairo_status_t appendToDocument(void* closure, const unsigned char* data, unsigned int length)
{
  return static_cast<GraphicsPdfSurface*>(closure)->append(data, length) ? CAIRO_STATUS_SUCCESS
                                                                         : CAIRO_STATUS_WRITE_ERROR;
}

}

GraphicsPdfSurface::GraphicsPdfSurface(unsigned width, unsigned height, bool svg)
    : _buffer(static_cast<char*>(DEBUG_MALLOC(DOCUMENT_START_CAPACITY))),
      _used(0),
      _capacity(_buffer ? DOCUMENT_START_CAPACITY : 0)
{
  _surface = svg ? cairo_svg_surface_create_for_stream(appendToDocument, this, width, height)
                 : cairo_pdf_surface_create_for_stream(appendToDocument, this, width, height);
  _context = new CairoGraphicsContext(_surface);
}

GraphicsPdfSurface::~GraphicsPdfSurface()
{
  release();  // cairo may still append the document's end
  DEBUG_FREE(_buffer);
}

bool GraphicsPdfSurface::append(const unsigned char* data, unsigned length)
{
  if (length > UINT_MAX - _used)
    return false;
  unsigned needed = _used + length;
  unsigned capacity = std::max(_capacity, 1u);
  while (capacity < needed) {
    if (capacity > UINT_MAX / 2)
      return false;
    capacity *= 2;
  }
  if (capacity != _capacity) {
    char* grown = static_cast<char*>(DEBUG_REALLOC(_buffer, capacity));
    if (!grown) {
      LogPrintf(GRAPHICS_LOG_KEY, "The document cannot grow to %u bytes", capacity);
      return false;
    }
    _buffer = grown;
    _capacity = capacity;
  }
  memcpy(_buffer + _used, data, length);
  _used = needed;
  return true;
}

bool GraphicsPdfSurface::writeToFile(FILE* file)
{
  cairo_surface_finish(_surface);
  cairo_status_t status = cairo_surface_status(_surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    LogPrintf(GRAPHICS_LOG_KEY, "The document is incomplete: cairo status %d", status);
    return false;
  }
  return fwrite(_buffer, 1, _used, file) == _used;
}

GraphicsSurface* createImageSurface(int width, int height, bool alpha)
{
  return new GraphicsImageSurface(width, height, alpha);
}

GraphicsSurface* createPaintDcSurface(HDC hdc)
{
  return new GraphicsPaintDcSurface(hdc, false);
}

GraphicsSurface* createPrintSurface(HDC hdc)
{
  return new GraphicsPaintDcSurface(hdc, true);
}

GraphicsSurface* createClipboardSurface(int width, int height)
{
  return new GraphicsClipboardSurface(width, height);
}

GraphicsSurface* createPdfSurface(unsigned width, unsigned height)
{
  return new GraphicsPdfSurface(width, height, false);
}

GraphicsSurface* createSvgSurface(unsigned width, unsigned height)
{
  return new GraphicsPdfSurface(width, height, true);
}
