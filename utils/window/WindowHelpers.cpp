#include "WindowHelpers.h"

#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"
#include "WindowLog.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

// ---------------------------------------------------------------- rectangles

void normalizeRect(RECT& r)
{
  if (r.left > r.right)
    std::swap(r.left, r.right);
  if (r.top > r.bottom)
    std::swap(r.top, r.bottom);
}

bool centerRect(RECT& r, const RECT& within)
{
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  int centreX = within.left + static_cast<int>((within.right - within.left) / 2.0);
  int centreY = within.top + static_cast<int>((within.bottom - within.top) / 2.0);
  r.left = centreX - static_cast<int>(width / 2.0);
  r.top = centreY - static_cast<int>(height / 2.0);
  r.right = r.left + width;
  r.bottom = r.top + height;
  return true;
}

bool pointInRect(const RECT& r, int x, int y)
{
  return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

void fillOutside(HDC dc, const RECT& inner, const RECT& outer, HBRUSH brush)
{
  RECT strips[4] = {
    {outer.left, outer.top, outer.right, inner.top},
    {outer.left, inner.bottom, outer.right, outer.bottom},
    {outer.left, outer.top, inner.left, outer.bottom},
    {inner.right, outer.top, outer.right, outer.bottom},
  };
  bool needed[4] = {inner.top > outer.top, inner.bottom < outer.bottom, inner.left > outer.left,
                    inner.right < outer.right};
  for (int i = 0; i < 4; i++) {
    if (needed[i])
      FillRect(dc, &strips[i], brush);
  }
}

void getWorkArea(RECT& r)
{
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
}

bool snapToEdges(RECT& r, const RECT& area, int distance, bool keepInside)
{
  const int GAP = 2;
  int left = r.left;
  int top = r.top;
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  if (keepInside) {
    top = std::max(top, static_cast<int>(area.top));
    left = std::max(left, static_cast<int>(area.left));
    if (top + height > area.bottom)
      top = area.bottom - height;
    if (left + width > area.right)
      left = area.right - width;
  }
  if (abs(top - area.top) < distance)
    top = area.top + GAP;
  if (abs(top + height - area.bottom) < distance)
    top = area.bottom - height - GAP;
  if (abs(left - area.left) < distance)
    left = area.left + GAP;
  if (abs(left + width - area.right) < distance)
    left = area.right - width - GAP;
  bool moved = left != r.left || top != r.top;
  r.left = left;
  r.top = top;
  r.right = left + width;
  r.bottom = top + height;
  return moved;
}

// ---------------------------------------------------------------- platform helpers

void forceForegroundWindow(HWND hwnd)
{
  OSVERSIONINFOW version;
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExW(&version);
  bool win98 = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
               (version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion > 0));
  if (win98) {
    DWORD timeout = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(hwnd);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), 0);
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD ownThread = GetCurrentThreadId();
    AttachThreadInput(ownThread, foregroundThread, TRUE);
    SetForegroundWindow(hwnd);
    AttachThreadInput(ownThread, foregroundThread, FALSE);
  } else {
    SetForegroundWindow(hwnd);
  }
}

BOOL setLayeredAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
  typedef BOOL(WINAPI * Function)(HWND, COLORREF, BYTE, DWORD);
  static Function function = nullptr;
  if (!function)
    function = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"USER32.DLL"), "SetLayeredWindowAttributes")));
  return function ? function(hwnd, key, alpha, flags) : FALSE;
}

BOOL animateWindow(HWND hwnd, DWORD time, DWORD flags)
{
  typedef BOOL(WINAPI * Function)(HWND, DWORD, DWORD);
  static Function function = reinterpret_cast<Function>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"USER32.DLL"), "AnimateWindow")));
  if (function)
    return function(hwnd, time, flags);
  return ShowWindow(hwnd, (flags & AW_HIDE) ? SW_HIDE : SW_SHOWNORMAL);
}

const char* lastErrorText()
{
  static char text[1024];
  std::string message = toUtf8(getLastErrorText());
  snprintf(text, sizeof(text), "%s", message.c_str());
  return text;
}

void logLastError(const char* what)
{
  LogPrintf(WINDOW_LOG_KEY, "%s failed: %s", what, lastErrorText());
}

// Replaces the C library's record of a standard stream with one on the
// process's handle, which attaching to a console may have just set.
static bool reopenOnHandle(FILE* stream, DWORD handle, const char* mode)
{
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(GetStdHandle(handle)), _O_TEXT);
  FILE* reopened = descriptor == -1 ? nullptr : _fdopen(descriptor, mode);
  if (!reopened)
    return false;
  *stream = *reopened;
  return true;
}

// Without a parent's console (started from a pipe or a file) the streams
// are reopened on the handles the process was given.
bool attachParentConsole()
{
  typedef BOOL(WINAPI * Function)(DWORD);
  Function attach = reinterpret_cast<Function>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"KERNEL32"), "AttachConsole")));
  if (attach)
    attach(ATTACH_PARENT_PROCESS);
  return reopenOnHandle(stdin, STD_INPUT_HANDLE, "r") && reopenOnHandle(stdout, STD_OUTPUT_HANDLE, "w");
}
