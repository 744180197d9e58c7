// Drives a program's top-level window from outside:
//   title CLASS TEXT SECONDS   waits until the window's title holds TEXT, prints it
//   command CLASS ID           sends the menu command ID and waits for it
//   close CLASS                asks the window to close
//   clipboard                  prints the clipboard's Unicode text as UTF-8
//   alive CLASS                exit code 0 while such a window exists
// Exit code 0 on success, 1 on failure, 2 on bad arguments.
#include "BaseWnd.h"
#include "DebugHeap.h"
#include "Log.h"
#include "StringUtil.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const int LOG_KEY = LogRegisterKey("L_WindowTool", true);

const int POLL_MS = 100;
const UINT SEND_TIMEOUT_MS = 30000;

std::wstring titleOf(HWND window)
{
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return text;
}

int waitForTitle(const wchar_t* className, const wchar_t* part, int seconds)
{
  for (int waited = 0; waited <= seconds * 1000; waited += POLL_MS) {
    HWND window = FindWindowW(className, nullptr);
    if (window) {
      std::wstring title = titleOf(window);
      if (title.find(part) != std::wstring::npos) {
        printf("%s\n", toUtf8(title).c_str());
        return 0;
      }
    }
    Sleep(POLL_MS);
  }
  LogPrintf(LOG_KEY, "No window of class %s with that title.", toUtf8(className).c_str());
  return 1;
}

int sendCommand(HWND window, UINT id)
{
  DWORD_PTR result;
  return SendMessageTimeoutW(window, WM_COMMAND, id, 0, SMTO_NORMAL, SEND_TIMEOUT_MS, &result) ? 0 : 1;
}

int printClipboard()
{
  wchar_t* text = getClipboardText(nullptr);
  if (!text)
    return 1;
  std::string utf8 = toUtf8(text);
  DEBUG_FREE(text);
  _setmode(_fileno(stdout), _O_BINARY);
  fwrite(utf8.data(), 1, utf8.size(), stdout);
  return 0;
}

void printLogLine(const char* key, const char* text)
{
  fprintf(stderr, "%s: %s\n", key, text);
}

}

int wmain(int argc, wchar_t** argv)
{
  LogSetSink(printLogLine);
  std::wstring verb = argc > 1 ? argv[1] : L"";
  if (verb == L"clipboard")
    return printClipboard();
  if (argc < 3)
    return 2;
  if (verb == L"title" && argc == 5)
    return waitForTitle(argv[2], argv[3], _wtoi(argv[4]));
  HWND window = FindWindowW(argv[2], nullptr);
  if (verb == L"alive")
    return window ? 0 : 1;
  if (!window)
    return 1;
  if (verb == L"command" && argc == 4)
    return sendCommand(window, _wtoi(argv[3]));
  if (verb == L"close")
    return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  return 2;
}
