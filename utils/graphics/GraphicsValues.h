#pragma once

// Plain drawing values: points, sizes, rectangles, colours with their names
// and text forms, fonts, pens and gradients.

struct Point {
  double x, y;
  Point(double x, double y) : x(x), y(y) {}
};

struct Size {
  double w, h;
  Size(double w, double h) : w(w), h(h) {}
};

struct Rect {
  double x, y, w, h;
  Rect() : x(0), y(0), w(0), h(0) {}
  Rect(double x, double y, double w, double h) : x(x), y(y), w(w), h(h) {}
  Rect operator+(const Point& other) const { return Rect(x + other.x, y + other.y, w, h); }
};

// Four components from 0 to 1; a is the opacity.
struct Colour {
  double r, g, b, a;
  Colour() : r(0), g(0), b(0), a(1) {}
  Colour(double r, double g, double b, double a) : r(r), g(g), b(b), a(a) {}
  // A colour name, "#rgb", "#rrggbb", "rgb(...)" or "rgba(...)". Bad text
  // gives half-transparent purple, a line on standard error and false.
  bool parse(const wchar_t* text);
};

// The value text ("#rrggbb") of a colour name, or null.
const wchar_t* lookupColourName(const wchar_t* name);

const int FONT_ITALIC = 1;
const int FONT_BOLD = 2;
const int FONT_UNDERLINE = 4;

struct GraphicsFont {
  wchar_t face[32];
  double size;  // in user units
  int flags;    // FONT_ITALIC, FONT_BOLD, FONT_UNDERLINE
  GraphicsFont(const wchar_t* face, double size, int flags);
};

struct Pen {
  Colour colour;
  double width;  // 0 strokes nothing
  int cap;       // 0 butt, 1 round, 2 square
  double dashOn, dashOff;  // 1 and 0 mean a solid line
  Pen() : width(1.0), cap(0), dashOn(1.0), dashOff(0.0) {}
  Pen(const Colour& colour, double width, int cap)
      : colour(colour), width(width), cap(cap), dashOn(1.0), dashOff(0.0) {}
  void setDash(double on, double off)
  {
    dashOn = on;
    dashOff = off;
  }
};

struct GradientStop {
  double offset;
  Colour colour;
};

const unsigned MAX_GRADIENT_STOPS = 5;

// A linear gradient from start to end; stops are used in the order added.
struct Gradient {
  Point start, end;
  GradientStop stops[MAX_GRADIENT_STOPS];
  unsigned count;
  Gradient() : start(0, 0), end(0, 0), stops(), count(0) {}
  void addStop(double offset, const Colour& colour);
};

extern const Colour TRANSPARENT_COLOUR;
extern const Pen NO_PEN;
