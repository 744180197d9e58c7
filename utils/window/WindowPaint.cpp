#include "WindowPaint.h"

bool paintOnMessage(HWND hwnd, UINT msg, WPARAM wParam, const std::function<void(HDC)>& paint)
{
  if (msg == WM_PRINTCLIENT) {
    paint(reinterpret_cast<HDC>(wParam));
    return true;
  }
  if (msg != WM_PAINT)
    return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  paint(dc);
  EndPaint(hwnd, &ps);
  return true;
}
