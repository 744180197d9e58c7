#pragma once

// The in-memory picture: a device-independent bitmap in a GDI DIB section,
// with pixel access, drawing onto a DC, nearest and smooth scaling, a cache
// of scaled copies for repeated stretched painting, blending, and a window
// region from the pixels that do not match a colour key.

#include "ImageFile.h"

#include <windows.h>

// A pixel surface that scaling and file routines can read or fill.
// Colours are COLORREF values, red in the low byte.
class Canvas {
public:
  virtual ~Canvas() {}
  virtual void setPixel(int, int, COLORREF) {}
  virtual COLORREF getPixel(int, int) { return 0; }
  virtual int height() = 0;
  virtual int width() = 0;
};

class DibImage : public Canvas {
public:
  DibImage();
  ~DibImage() override;
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // Rows are bottom-up in memory and padded to 4 bytes. A colour count of
  // 0 gives a depth of 8 bits or less its full table; above 256 is refused.
  bool create(int width, int height, int bitsPerPixel, int colourCount);
  // A 24-bit copy of a rectangle of the DC; when only the copy fails, the
  // image is made all the same and the result is false.
  bool createFromDC(HDC dc, const RECT* rect);
  bool createFromBitmap(HBITMAP bitmap);
  void destroy();
  // The bytes from the header to the pixels, as the platform reads them:
  // the header, the three masks of BI_BITFIELDS that a 40-byte header does
  // not hold, and the colour table (at most 256 entries).
  static size_t bitmapInfoSize(const BITMAPINFOHEADER* header);

  int width() override;
  int height() override;
  bool getBounds(RECT* out);
  BITMAPINFO* getBitmapInfo();
  void* getBits();
  // Outside the image, reads give black and writes do nothing.
  COLORREF getPixel(int x, int y) override;
  void setPixel(int x, int y, COLORREF colour) override;

  // (srcX, srcY) counts from the top.
  bool draw(HDC dc, int x, int y, int width, int height, int srcX, int srcY);
  bool stretchDraw(HDC dc, const RECT* src, const RECT* dst);
  // Like stretchDraw, through up to maxCache whole scaled copies kept by size.
  void drawCached(HDC dc, const RECT* src, const RECT* dst, int maxCache);
  void clearCache();
  // Mixes the source's rectangle (clipped to the source) in at (x, y) with
  // the given opacity, capped at 1.
  bool blend(int x, int y, DibImage* source, const RECT* sourceRect, double alpha);
  // The region of the pixels that do not match the key within the
  // tolerance; the caller owns it.
  HRGN createRegion(COLORREF key, COLORREF tolerance, const XFORM* transform);
  HBITMAP createDDB(HDC dc);

  void scaleNearest(Canvas* target);
  void scaleSmooth(Canvas* target);
  // A new image, created and smoothly scaled when the size is positive; the
  // caller owns it.
  DibImage* scaledCopy(int width, int height);

  // The file routines, in ImageFile.cpp: each loader gives a new 24-bit image
  // that the caller owns, or null. A damaged or truncated PNG is a failed
  // load; a JPEG that the library only warns about (stray bytes, a cut file
  // padded with grey) loads at its header's size.
  static DibImage* load(const wchar_t* path);
  static DibImage* loadPng(const wchar_t* path);
  static DibImage* loadPng(ByteStream* stream);
  static DibImage* loadJpeg(const wchar_t* path);
  // A failed save to a path leaves no file behind.
  static bool savePng(Canvas* image, const wchar_t* path);
  static bool savePng(Canvas* image, ByteStream* stream);
  static bool saveJpeg(Canvas* image, const wchar_t* path);

  struct CacheEntry {
    int width;
    int height;
    DibImage* copy;
  };
  // Slot i of the scaled-copy cache, or null.
  const CacheEntry* cacheEntry(int slot) const;

private:
  struct Dib {
    unsigned char** rows;  // row 0 is the top row
    HBITMAP section;
    void* bits;
    DIBSECTION ds;
    BITMAPINFO* header;
  };

  unsigned char* pixelAddress(int x, int y);
  void resizeCache(int slots);

  bool _bCreated;
  Dib _dib;
  CacheEntry** _cache;
  int _cacheSize;
};
