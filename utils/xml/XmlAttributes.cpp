#include "XmlAttributes.h"

#include "Gdi.h"
#include "StringUtil.h"

#include <cmath>
#include <cwchar>
#include <cwctype>

namespace {

// Reads a leading decimal integer; false without one. Values beyond the
// int range are held at its ends.
bool readInteger(const wchar_t*& at, int& value)
{
  wchar_t* end;
  long number = wcstol(at, &end, 10);
  if (end == at)
    return false;
  at = end;
  value = static_cast<int>(number);
  return true;
}

int clampExtent(double value)
{
  return value <= 0 ? 0 : value >= XmlAttributes::MAX_EXTENT ? XmlAttributes::MAX_EXTENT : static_cast<int>(value);
}

}

// ---------------------------------------------------------------- attribute readers

double XmlAttributes::readNumber(const std::wstring& text)
{
  const wchar_t* start = text.c_str();
  // Hexadecimal and named numbers are no part of the description language.
  const wchar_t* digits = start + wcsspn(start, L" \t\r\n+-");
  if (*digits != L'.' && !iswdigit(*digits))
    return 0;
  if (digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X'))
    return 0;
  double value = wcstod(start, nullptr);
  return std::isfinite(value) ? value : 0;
}

int XmlAttributes::readExtent(const std::wstring& text)
{
  return clampExtent(readNumber(text));
}

bool XmlAttributes::parseSize(const std::wstring& text, int& width, int& height)
{
  const wchar_t* at = text.c_str();
  if (!readInteger(at, width))
    return false;
  width = clampExtent(width);
  if (*at++ != L'x' || !readInteger(at, height))
    return false;
  height = clampExtent(height);
  return true;
}

bool XmlAttributes::parseColour(const std::wstring& text, COLORREF& colour)
{
  if (text == L"black") {
    colour = RGB(0, 0, 0);
    return true;
  }
  if (text == L"white") {
    colour = RGB(255, 255, 255);
    return true;
  }
  const int DIGITS = 6;
  unsigned rgb;
  if (text.empty() || text[0] != L'#' || parseHex(toUtf8(text.substr(1, DIGITS)).c_str(), &rgb, DIGITS) != DIGITS)
    return false;
  colour = RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
  return true;
}

bool XmlAttributes::parseFont(const std::wstring& text, std::wstring& face, int& height)
{
  size_t colon = text.find(L':');
  if (colon == 0 || colon == std::wstring::npos)
    return false;
  const wchar_t* at = text.c_str() + colon + 1;
  int number;
  if (!readInteger(at, number) || number < -MAX_FONT_HEIGHT || number > MAX_FONT_HEIGHT)
    return false;
  face = text.substr(0, std::min<size_t>(colon, LF_FACESIZE - 1));
  height = number;
  return true;
}
