#pragma once

#include <windows.h>

// Helpers windows share: rectangles, platform calls looked up at run time,
// error text and the console.

void normalizeRect(RECT& r);
bool centerRect(RECT& r, const RECT& within);
bool pointInRect(const RECT& r, int x, int y);
// Fills the parts of outer that inner leaves uncovered.
void fillOutside(HDC dc, const RECT& inner, const RECT& outer, HBRUSH brush);
void getWorkArea(RECT& r);
// Moves r to an edge of area that lies closer than distance (2 pixels
// inside it); true when r moved.
bool snapToEdges(RECT& r, const RECT& area, int distance, bool keepInside);
void forceForegroundWindow(HWND hwnd);
BOOL setLayeredAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
BOOL animateWindow(HWND hwnd, DWORD time, DWORD flags);
// UTF-8 text of the last error, in a buffer the next call overwrites.
const char* lastErrorText();
bool attachParentConsole();
