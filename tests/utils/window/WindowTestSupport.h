#pragma once

#include "BaseWnd.h"
#include "DebugHeap.h"
#include "Portability.h"
#include "StringUtil.h"

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

  bool saw(UINT msg) const
  {
    for (UINT seen : messages) {
      if (seen == msg)
        return true;
    }
    return false;
  }

  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override
  {
    messages.push_back(msg);
    return Window::handleMessage(h, msg, wParam, lParam, handled);
  }

  std::vector<UINT> messages;
};

// Saves the X display as <name>.png in the run's screenshot folder, through
// Linux ffmpeg; false without a display. Wine starts the Linux program but
// gives back no handle to wait on, so the shell renames the finished picture
// into place and we wait for its name.
inline bool saveScreenshot(const char* name)
{
  wchar_t folder[MAX_PATH];
  wchar_t display[64];
  if (!GetEnvironmentVariableW(L"ZARUDODO_SCREENSHOTS", folder, MAX_PATH) ||
      !GetEnvironmentVariableW(L"DISPLAY", display, 64))
    return false;
  std::wstring target = std::wstring(folder) + L"/" + toWide(name) + L".png";
  DeleteFileW((L"Z:" + target).c_str());
  std::wstring command = L"ffmpeg -loglevel error -y -f x11grab -i " + std::wstring(display) +
                         L" -frames:v 1 " + target + L".tmp.png && mv " + target + L".tmp.png " + target;
  HANDLE process = runProcess({L"/bin/sh", L"-c", command});
  if (process)
    CloseHandle(process);
  for (int i = 0; i < 100; i++) {
    if (fileExists((L"Z:" + target).c_str()))
      return true;
    Sleep(100);
  }
  return false;
}
