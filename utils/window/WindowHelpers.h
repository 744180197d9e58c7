#pragma once

#include <windows.h>

// Helpers windows share: rectangles, platform calls looked up at run time,
// error text, paths and the console.

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
// The index after the file name's last dot, or -1 without one.
int findExtension(const wchar_t* path);
// Whether the file name's extension is ext, ignoring case; an empty ext
// stands for no extension.
bool hasExtension(const wchar_t* path, const wchar_t* ext);
void appendBackslash(wchar_t* path);
void removeBackslash(wchar_t* path);
int stripFileName(wchar_t* path);
int getModuleDirectory(wchar_t* buffer, int size);
void setWorkingDirectoryToModule();
bool attachParentConsole();
