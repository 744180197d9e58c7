#pragma once

// The drawing layer: plain drawing values (points, colours, fonts, pens,
// gradients), a drawing context over cairo that snaps shapes to pixel
// centres and can draw them hand-drawn, recorded paths, and the surfaces a
// context draws on (memory images, window and printer DCs, the clipboard,
// PDF and SVG documents).

#include <windows.h>

#include <cairo.h>

#include <cstdio>
#include <vector>

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

class GraphicsPathCommand {
public:
  virtual ~GraphicsPathCommand() {}
  virtual void execute(GraphicsContext* context) = 0;
};

class GraphicsPathMoveToPoint : public GraphicsPathCommand {
public:
  explicit GraphicsPathMoveToPoint(const Point& point) : _point(point) {}
  void execute(GraphicsContext* context) override { context->moveTo(_point); }

private:
  Point _point;
};

class GraphicsPathLineToPoint : public GraphicsPathCommand {
public:
  explicit GraphicsPathLineToPoint(const Point& point) : _point(point) {}
  void execute(GraphicsContext* context) override { context->lineTo(_point); }

private:
  Point _point;
};

class GraphicsPathArc : public GraphicsPathCommand {
public:
  GraphicsPathArc(const Point& centre, double radius, double angle1, double angle2, bool forward)
      : _centre(centre), _radius(radius), _angle1(angle1), _angle2(angle2), _forward(forward) {}
  void execute(GraphicsContext* context) override { context->arc(_centre, _radius, _angle1, _angle2, _forward); }

private:
  Point _centre;
  double _radius;
  double _angle1, _angle2;  // radians
  bool _forward;
};

// A figure recorded once and replayed on any context; snapping and the
// hand-drawn mode apply at replay.
class GraphicsPath {
public:
  GraphicsPath();
  ~GraphicsPath();
  GraphicsPath(const GraphicsPath&) = delete;
  GraphicsPath& operator=(const GraphicsPath&) = delete;

  void moveTo(const Point& point);
  void lineTo(const Point& point);
  void arc(const Point& centre, double radius, double angle1, double angle2, bool forward);
  void draw(GraphicsContext* context);

private:
  std::vector<GraphicsPathCommand*>* _commands;
};

// Takes all length bytes, or returns false.
typedef bool (*PngWriteFunction)(void* userData, const unsigned char* data, unsigned length);

class GraphicsSurface {
public:
  GraphicsSurface() : _surface(nullptr), _context(nullptr) {}
  virtual ~GraphicsSurface() {}
  GraphicsSurface(const GraphicsSurface&) = delete;
  GraphicsSurface& operator=(const GraphicsSurface&) = delete;

  virtual bool writeToStream(PngWriteFunction write, void* userData);
  virtual bool writeToFile(FILE* file) = 0;
  // Writes the surface's document to a file; a kind without one creates no file.
  bool save(const wchar_t* path);
  virtual bool copyToClipboard(HWND owner);
  virtual bool getRGB(unsigned char* buffer, unsigned size);
  virtual void blur(double radius) = 0;
  virtual GraphicsContext* getContext() = 0;

protected:
  // Whether writeToFile has a document to write.
  virtual bool hasDocument() const { return false; }
  void release();

  cairo_surface_t* _surface;
  GraphicsContext* _context;
};

class GraphicsImageSurface : public GraphicsSurface {
public:
  GraphicsImageSurface(int width, int height, bool alpha);
  ~GraphicsImageSurface() override { release(); }
  bool writeToStream(PngWriteFunction write, void* userData) override;
  bool writeToFile(FILE* file) override;
  // Red, green and blue bytes of each pixel, rows top to bottom.
  bool getRGB(unsigned char* buffer, unsigned size) override;
  // A box blur over a 2r × 2r box; a radius under 1 leaves the image alone.
  void blur(double radius) override;
  GraphicsContext* getContext() override { return _context; }

protected:
  bool hasDocument() const override { return true; }
};

class GraphicsPaintDcSurface : public GraphicsSurface {
public:
  GraphicsPaintDcSurface(HDC hdc, bool printing);
  ~GraphicsPaintDcSurface() override { release(); }
  bool writeToFile(FILE*) override { return false; }
  void blur(double) override {}
  GraphicsContext* getContext() override { return _context; }

protected:
  GraphicsPaintDcSurface() {}
};

// A 24-bit DIB that can be put on the clipboard.
class GraphicsClipboardSurface : public GraphicsPaintDcSurface {
public:
  GraphicsClipboardSurface(int width, int height);
  bool copyToClipboard(HWND owner) override;
};

// A PDF or SVG document collected in memory; the first writeToFile
// finishes it.
class GraphicsPdfSurface : public GraphicsSurface {
public:
  GraphicsPdfSurface(unsigned width, unsigned height, bool svg);
  ~GraphicsPdfSurface() override;
  bool writeToFile(FILE* file) override;
  void blur(double) override {}
  GraphicsContext* getContext() override { return _context; }
  // Appends a piece of the document; false, with nothing changed, when the
  // buffer cannot grow to hold it.
  bool append(const unsigned char* data, unsigned length);
  unsigned bytesUsed() const { return _used; }

protected:
  bool hasDocument() const override { return true; }

private:
  char* _buffer;
  unsigned _used;
  unsigned _capacity;
};

// Blurs 32-bit pixels (rows exactly 4 × width bytes apart) with a box of
// 2r × 2r, all four bytes alike; the share of the box outside the image
// counts as zero. False when nothing changed: a radius under 1, no
// pixels, or no memory for the work.
bool boxBlur(unsigned char* pixels, int width, int height, int radius);

GraphicsSurface* createImageSurface(int width, int height, bool alpha);
GraphicsSurface* createPaintDcSurface(HDC hdc);
GraphicsSurface* createPrintSurface(HDC hdc);
GraphicsSurface* createClipboardSurface(int width, int height);
GraphicsSurface* createPdfSurface(unsigned width, unsigned height);
GraphicsSurface* createSvgSurface(unsigned width, unsigned height);
