#pragma once

// Counts this program's DestroyMenu calls, and those that found no menu,
// through its import slot. A window destroys its menu bar, and the popups in
// it, itself: a program that destroys them too makes more calls, and failed
// ones. One watch at a time.

#include <windows.h>

// The one import slot through which every call of this 32-bit program goes.
extern "C" decltype(&DestroyMenu) destroyMenuImport asm("__imp__DestroyMenu@4");

class MenuWatch {
public:
  MenuWatch()
  {
    destroys = failed = 0;
    _system = destroyMenuImport;
    destroyMenuImport = counted;
  }
  ~MenuWatch() { destroyMenuImport = _system; }

  static inline int destroys = 0, failed = 0;

private:
  static BOOL WINAPI counted(HMENU menu)
  {
    BOOL done = _system(menu);
    destroys++;
    failed += !done;
    return done;
  }

  static inline decltype(&DestroyMenu) _system = nullptr;
};
