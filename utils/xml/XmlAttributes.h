#pragma once

#include <windows.h>

#include <string>

// Readers of attribute texts, bounded so that no description can make a
// size, a colour or a font that the window framework rejects.
namespace XmlAttributes {

const int MAX_EXTENT = 32767;

// The number at the start of the text, 0 without one or when not finite.
double readNumber(const std::wstring& text);
// The same truncated and held within 0 .. MAX_EXTENT.
int readExtent(const std::wstring& text);
// "<width>x<height>": true when both were read; one read alone is stored.
bool parseSize(const std::wstring& text, int& width, int& height);
// "black", "white" or "#rrggbb"; other text leaves colour unchanged.
bool parseColour(const std::wstring& text, COLORREF& colour);
// "<face>:<height>": true, with the face cut to what a font holds, when
// both are read and the height is one a font can have.
bool parseFont(const std::wstring& text, std::wstring& face, int& height);

}
