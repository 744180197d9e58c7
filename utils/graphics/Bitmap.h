#pragma once

// The device-dependent picture that widgets paint with: a GDI bitmap kept
// selected in its own memory DC, with an optional monochrome mask (1 bits
// transparent), loaded from resources or PNG and JPEG files; and the counted
// handle through which several owners share one.

#include <windows.h>

class ByteStream;
class DibImage;

class Bitmap {
public:
  Bitmap();
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  void destroy();
  bool isEmpty() const { return _hDC == nullptr; }
  bool hasMask() const { return _hMask != nullptr; }
  HBITMAP getHandle() const { return _hBitmap; }
  HBITMAP getMask() const { return _hMask; }
  HDC getDC() const { return _hDC; }
  // 1 while there is no picture.
  int width() const { return _hBitmap ? _width : 1; }
  int height() const { return _hBitmap ? _height : 1; }
  COLORREF getPixel(int x, int y) const { return GetPixel(_hDC, x, y); }

  bool create(HDC compatibleWith, int width, int height);
  // A null window stands for the screen.
  bool create(HWND window, int width, int height);
  // A name or a MAKEINTRESOURCE identifier in the module's resources; a
  // failure leaves the bitmap empty.
  bool loadResource(LPCWSTR name);
  void copyFrom(const Bitmap& other);

  // Through the mask when there is one.
  void draw(HDC dc, int x, int y, int width, int height, int srcX, int srcY);
  void stretchDraw(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight);
  // Smooth scaling; the mask is scaled along.
  void resize(HDC compatibleWith, int newWidth, int newHeight);

  // A failed load keeps the previous picture.
  bool load(HDC compatibleWith, const wchar_t* path);
  bool loadPng(HDC compatibleWith, ByteStream* stream);
  bool savePng(ByteStream* stream);
  // The picture must exist and the PNG must have its size; black is opaque,
  // and the picture turns black where the mask is transparent.
  bool loadMaskPng(ByteStream* stream);
  bool saveMaskPng(ByteStream* stream);

  // Pixels of the key colour become transparent, and black in the picture.
  void createMask(COLORREF key);
  void deleteMask();
  static HBITMAP makeMask(HDC source, COLORREF key, int width, int height);

private:
  void drawWith(bool stretch, HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                int srcHeight);
  bool takeImage(HDC compatibleWith, DibImage* image);
  void scaleMask(HBITMAP oldMask, int oldWidth, int oldHeight);
  void blackenTransparent(HDC maskDC);
  void readSize();

  HBITMAP _hBitmap;
  HBITMAP _hMask;
  HDC _hDC;
  HGDIOBJ _savedObject;
  int _width;
  int _height;
};

// Shares one Bitmap among several owners; the last one deletes it.
class BitmapPtr {
public:
  BitmapPtr();
  BitmapPtr(const BitmapPtr& other);
  BitmapPtr& operator=(const BitmapPtr& other);
  ~BitmapPtr();

  BitmapPtr& reset(Bitmap* bitmap);
  bool isSet() const { return _bitmap != nullptr; }
  Bitmap* get() const { return _bitmap; }
  Bitmap* operator->() const { return _bitmap; }
  void release();

private:
  int* _count;
  Bitmap* _bitmap;
};
