#pragma once

#include <windows.h>

#include <vector>

// Owners of GDI objects: a device context, a font, a brush and a pen.

// A device context that puts back the first font, pen and brush it replaced.
class DC {
public:
  DC();
  explicit DC(HDC dc);
  DC(const DC& other);
  ~DC();
  DC& operator=(const DC&) = delete;

  HGDIOBJ selectFont(HGDIOBJ font);
  HGDIOBJ selectPen(HGDIOBJ pen);
  HGDIOBJ selectBrush(HGDIOBJ brush);
  HDC getHDC() const { return _hDC; }

private:
  HGDIOBJ select(HGDIOBJ object, HGDIOBJ& saved);

  HDC _hDC;
  bool _owned;
  HGDIOBJ _oldFont;
  HGDIOBJ _oldPen;
  HGDIOBJ _oldBrush;
};

const int FONT_BOLD_WEIGHT = 700;
const int MAX_FONT_HEIGHT = 5000;

// A font description with its handle and metrics made on first use.
class Font {
public:
  Font();
  Font(const wchar_t* face, int height);
  explicit Font(HFONT font);
  Font(const Font& other);
  ~Font();
  Font& operator=(const Font&) = delete;

  void release();
  HFONT getHandle();
  int getHeight();
  int getAscent();
  int getDescent();
  int getInternalLeading();
  int getExternalLeading();
  int getCharWidth(wchar_t c);
  void setFaceName(const wchar_t* face);
  void setHeight(int height);
  void setBold(bool bold);
  void setItalic(bool italic);
  bool isBold() const { return _logFont.lfWeight == FONT_BOLD_WEIGHT; }
  bool isItalic() const { return _logFont.lfItalic != 0; }
  const wchar_t* getFaceName() const { return _logFont.lfFaceName; }
  int getRequestedHeight() const { return _logFont.lfHeight; }
  const LOGFONTW& getLogFont() const { return _logFont; }
  bool chooseFont(HWND owner);
  void setFlag(bool flag) { _flag = flag; }
  bool getFlag() const { return _flag; }

private:
  void init(const wchar_t* face, int height);
  void measure();

  LOGFONTW _logFont;
  TEXTMETRICW _metrics;
  HFONT _handle;
  bool _flag;
  // Handles given out before a change; one may still be selected into a
  // context, so they live as long as the font.
  std::vector<HFONT> _oldHandles;
};

extern Font defaultFont;

class GdiBrush {
public:
  GdiBrush();
  explicit GdiBrush(COLORREF color);
  ~GdiBrush();
  GdiBrush(const GdiBrush&) = delete;
  GdiBrush& operator=(const GdiBrush&) = delete;

  void setColor(COLORREF color);
  HBRUSH getHandle() const { return _handle; }

private:
  HBRUSH _handle;
};

class GdiPen {
public:
  GdiPen(int style, int width, COLORREF color);
  ~GdiPen();
  GdiPen(const GdiPen&) = delete;
  GdiPen& operator=(const GdiPen&) = delete;

  HPEN getHandle() const { return _handle; }

private:
  HPEN _handle;
};
