#include "BaseApplication.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Dialog.h"
#include "Menu.h"

#include <objbase.h>

#include <cwchar>

// ---------------------------------------------------------------- BaseApplication

BaseApplication::BaseApplication(HINSTANCE instance, const wchar_t* name, float version)
  : _version(version), _name(DEBUG_WCSDUP(name)), _hInstance(instance)
{
  size_t length = wcslen(name) + 16;
  _title = static_cast<wchar_t*>(DEBUG_MALLOC(length * sizeof(wchar_t)));
  swprintf(_title, length, L"%ls %.2f", name, static_cast<double>(version));
}

BaseApplication::~BaseApplication()
{
  DEBUG_FREE(_name);
  DEBUG_FREE(_title);
}

int BaseApplication::run(const wchar_t* cmdLine)
{
  if (FAILED(CoInitialize(nullptr))) {
    MessageBoxW(0, L"Could not initialize the COM library.", _name, MB_ICONEXCLAMATION);
    return -1;
  }
  int result = 0;
  if (init(cmdLine)) {
    result = runMessageLoop();
    exit();
  }
  CoUninitialize();
  return result;
}

int runMessageLoop()
{
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, 0, 0, 0);
    if (got == 0)
      return static_cast<int>(msg.wParam);
    if (got == -1)
      continue;
    if (translateAccelerators(&msg) || isModelessDialogMessage(&msg) || isModelessPropertySheetMessage(&msg))
      continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// ---------------------------------------------------------------- CommandLine

CommandLine::CommandLine(const wchar_t* text, int maxArgs)
  : _count(0), _text(DEBUG_WCSDUP(text)),
    _args(static_cast<wchar_t**>(DEBUG_CALLOC(maxArgs > 0 ? maxArgs : 1, sizeof(wchar_t*))))
{
  enum State { BETWEEN, UNQUOTED, QUOTE_IN_UNQUOTED, AFTER_OPEN_QUOTE, QUOTED };
  State state = BETWEEN;
  for (wchar_t* c = _text; *c; c++) {
    switch (state) {
    case BETWEEN:
      if (_count == maxArgs)
        return;
      if (*c == L'"') {
        state = AFTER_OPEN_QUOTE;
      } else if (*c != L' ') {
        _args[_count++] = c;
        state = UNQUOTED;
      }
      break;
    case UNQUOTED:
      if (*c == L' ') {
        *c = 0;
        state = BETWEEN;
      } else if (*c == L'"') {
        state = QUOTE_IN_UNQUOTED;
      }
      break;
    case QUOTE_IN_UNQUOTED:
      if (*c == L'"')
        state = UNQUOTED;
      break;
    case AFTER_OPEN_QUOTE:
      _args[_count++] = c;
      if (*c == L'"') {
        *c = 0;
        state = BETWEEN;
      } else {
        state = QUOTED;
      }
      break;
    case QUOTED:
      if (*c == L'"') {
        *c = 0;
        state = BETWEEN;
      }
      break;
    }
  }
}

CommandLine::~CommandLine()
{
  DEBUG_FREE(_text);
  DEBUG_FREE(_args);
}

const wchar_t* CommandLine::getArg(int i) const
{
  if (i < 0 || i >= _count) {
    ASSERT(0);
    return nullptr;
  }
  return _args[i];
}
