#include "Gdi.h"

#include "Assert.h"

#include <commdlg.h>

#include <cstring>

// ---------------------------------------------------------------- DC

DC::DC() : _hDC(GetDC(nullptr)), _owned(true), _oldFont(0), _oldPen(0), _oldBrush(0) {}

DC::DC(HDC dc) : _hDC(dc), _owned(false), _oldFont(0), _oldPen(0), _oldBrush(0) {}

DC::DC(const DC& other)
  : _hDC(other._hDC), _owned(false), _oldFont(other._oldFont), _oldPen(other._oldPen), _oldBrush(other._oldBrush)
{
}

DC::~DC()
{
  for (HGDIOBJ* saved : {&_oldFont, &_oldPen, &_oldBrush}) {
    if (*saved)
      SelectObject(_hDC, *saved);
    *saved = 0;
  }
  if (_owned)
    ReleaseDC(nullptr, _hDC);
  _hDC = 0;
}

HGDIOBJ DC::select(HGDIOBJ object, HGDIOBJ& saved)
{
  HGDIOBJ old = SelectObject(_hDC, object);
  if (!saved)
    saved = old;
  return old;
}

HGDIOBJ DC::selectFont(HGDIOBJ font)
{
  return select(font, _oldFont);
}

HGDIOBJ DC::selectPen(HGDIOBJ pen)
{
  return select(pen, _oldPen);
}

HGDIOBJ DC::selectBrush(HGDIOBJ brush)
{
  return select(brush, _oldBrush);
}

// ---------------------------------------------------------------- Font

Font defaultFont;

Font::Font()
{
  init(L"Tahoma", 10);
}

Font::Font(const wchar_t* face, int height)
{
  init(face, height);
}

Font::Font(HFONT font)
{
  init(L"Tahoma", 10);
  GetObjectW(font, sizeof(_logFont), &_logFont);
}

Font::Font(const Font& other) : _logFont(other._logFont), _handle(0), _flag(false)
{
  _metrics.tmHeight = 0;
}

Font::~Font()
{
  release();
  for (HFONT old : _oldHandles)
    DeleteObject(old);
}

void Font::init(const wchar_t* face, int height)
{
  ASSERT(height >= -MAX_FONT_HEIGHT && height <= MAX_FONT_HEIGHT);
  memset(&_logFont, 0, sizeof(_logFont));
  _logFont.lfCharSet = DEFAULT_CHARSET;
  _logFont.lfHeight = height;
  _flag = false;
  lstrcpynW(_logFont.lfFaceName, face, LF_FACESIZE);
  _handle = 0;
  _metrics.tmHeight = 0;
}

// A handle given out may still be selected into a context: it is kept
// until the font goes, not deleted under the drawing code's feet.
void Font::release()
{
  if (_handle)
    _oldHandles.push_back(_handle);
  _handle = 0;
  _metrics.tmHeight = 0;
}

HFONT Font::getHandle()
{
  if (!_handle)
    _handle = CreateFontIndirectW(&_logFont);
  return _handle;
}

void Font::measure()
{
  if (_metrics.tmHeight)
    return;
  DC dc;
  dc.selectFont(getHandle());
  GetTextMetricsW(dc.getHDC(), &_metrics);
}

int Font::getHeight()
{
  measure();
  return _metrics.tmHeight;
}

int Font::getAscent()
{
  measure();
  return _metrics.tmAscent;
}

int Font::getDescent()
{
  measure();
  return _metrics.tmDescent;
}

int Font::getInternalLeading()
{
  measure();
  return _metrics.tmInternalLeading;
}

int Font::getExternalLeading()
{
  measure();
  return _metrics.tmExternalLeading;
}

int Font::getCharWidth(wchar_t c)
{
  DC dc;
  dc.selectFont(getHandle());
  int width = 0;
  return GetCharWidthW(dc.getHDC(), c, c, &width) ? width : 10;
}

void Font::setFaceName(const wchar_t* face)
{
  release();
  lstrcpynW(_logFont.lfFaceName, face, LF_FACESIZE);
}

void Font::setHeight(int height)
{
  release();
  _logFont.lfHeight = height;
}

void Font::setBold(bool bold)
{
  release();
  _logFont.lfWeight = bold ? FONT_BOLD_WEIGHT : 0;
}

void Font::setItalic(bool italic)
{
  release();
  _logFont.lfItalic = italic;
}

bool Font::chooseFont(HWND owner)
{
  LOGFONTW chosen = _logFont;
  CHOOSEFONTW choose;
  memset(&choose, 0, sizeof(choose));
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = owner;
  choose.lpLogFont = &chosen;
  choose.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST;
  if (!ChooseFontW(&choose))
    return false;
  release();
  _logFont = chosen;
  return true;
}

// ---------------------------------------------------------------- brushes and pens

GdiBrush::GdiBrush() : _handle(CreateSolidBrush(RGB(0, 0, 0))) {}

GdiBrush::GdiBrush(COLORREF color) : _handle(CreateSolidBrush(color)) {}

GdiBrush::~GdiBrush()
{
  DeleteObject(_handle);
  _handle = 0;
}

void GdiBrush::setColor(COLORREF color)
{
  DeleteObject(_handle);
  _handle = CreateSolidBrush(color);
}

GdiPen::GdiPen(int style, int width, COLORREF color) : _handle(CreatePen(style, width, color)) {}

GdiPen::~GdiPen()
{
  DeleteObject(_handle);
  _handle = 0;
}
