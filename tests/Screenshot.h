#pragma once

#include "Portability.h"
#include "StringUtil.h"

#include <windows.h>

#include <string>

// Saves the X display as <name>.png in the run's screenshot folder, through
// Linux ffmpeg; false without a display. Wine gives back no handle to wait
// on, so the shell renames the finished picture into place and we wait for
// its name.
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
  CloseHandle(runProcess({L"/bin/sh", L"-c", command}));
  for (int i = 0; i < 100 && !fileExists((L"Z:" + target).c_str()); i++)
    Sleep(100);
  return fileExists((L"Z:" + target).c_str());
}
