#pragma once

#include <windows.h>

#include <functional>

// Runs paint for WM_PAINT (between BeginPaint and EndPaint) and for
// WM_PRINTCLIENT (on the DC in wParam); false for any other message.
bool paintOnMessage(HWND hwnd, UINT msg, WPARAM wParam, const std::function<void(HDC)>& paint);
