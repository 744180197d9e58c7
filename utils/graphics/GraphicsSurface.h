#pragma once

// The surfaces a context draws on, made by the create functions: memory
// images (written as PNG, blurred), window and printer DCs, the clipboard,
// and PDF and SVG documents.

#include "GraphicsContext.h"

#include <windows.h>

#include <cairo.h>

#include <cstdio>

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
// finishes it, and every later one writes the same document.
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
  bool _finished;
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
