#pragma once

#include "XmlApplication.h"

#include <string>
#include <vector>

// Keeps every command that reaches the listener, with the command argument
// of that moment.
class RecordingListener : public XmlAppListener {
public:
  void onCommand(const std::wstring& command) override
  {
    commands.push_back(command);
    arguments.push_back(application ? application->getCommandArgument() : L"");
  }

  XmlApplication* application = nullptr;
  std::vector<std::wstring> commands;
  std::vector<std::wstring> arguments;
};

// Closes every message box of this thread as it opens and keeps its text.
class MessageBoxCloser {
public:
  MessageBoxCloser() : _hook(SetWindowsHookExW(WH_CBT, onEvent, nullptr, GetCurrentThreadId())) { _current = this; }
  ~MessageBoxCloser()
  {
    UnhookWindowsHookEx(_hook);
    _current = nullptr;
  }
  MessageBoxCloser(const MessageBoxCloser&) = delete;
  MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

  std::vector<std::wstring> texts;

private:
  static LRESULT CALLBACK onEvent(int code, WPARAM wParam, LPARAM lParam)
  {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = L"";
    if (code == HCBT_ACTIVATE && GetClassNameW(box, name, 16) && std::wstring(name) == L"#32770") {
      wchar_t text[256] = L"";
      GetDlgItemTextW(box, 0xFFFF, text, 256);
      _current->texts.push_back(text);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  HHOOK _hook;
  static inline MessageBoxCloser* _current = nullptr;
};
