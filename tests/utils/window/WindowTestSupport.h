#pragma once

#include "BaseWnd.h"
#include "DebugHeap.h"
#include "Screenshot.h"
#include "SplitterWindow.h"

#include <algorithm>
#include <string>
#include <vector>

// A window of our own class that records the messages it gets.
class RecordingWindow : public Window {
public:
  explicit RecordingWindow(HWND parentWindow = HWND_MESSAGE, DWORD windowStyle = 0)
  {
    className = L"RecordingWindow";
    style = windowStyle;
    create(0, 0, 200, 100, parentWindow, 0, GetModuleHandleW(nullptr));
  }

  bool saw(UINT msg) const { return std::find(messages.begin(), messages.end(), msg) != messages.end(); }

  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    messages.push_back(msg);
    return Window::handleMessage(h, msg, wParam, lParam, handled);
  }

  std::vector<UINT> messages;
};

inline std::string rectText(const RECT& r)
{
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

inline void pumpMessages()
{
  MSG msg;
  while (PeekMessageW(&msg, 0, 0, 0, PM_REMOVE))
    DispatchMessageW(&msg);
}

// A tracked-heap text the framework handed over, freed; "<null>" for none.
inline std::wstring takeText(wchar_t* text)
{
  std::wstring copy = text ? text : L"<null>";
  DEBUG_FREE(text);
  return copy;
}
