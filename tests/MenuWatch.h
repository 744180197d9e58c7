#pragma once

// Watches the menus that this program makes and destroys, through its own
// imports of USER32: how many of those it made are still menus, and how many
// destroy calls named a menu already gone or one that a window of this
// thread still holds (the window destroys its menu bar, and the popups in
// it, itself). One watch at a time.

#include <windows.h>

#include <vector>

class MenuWatch {
public:
  MenuWatch()
  {
    _current = this;
    swap(_createMenu, createMenu);
    swap(_createPopupMenu, createPopupMenu);
    swap(_destroyMenu, destroyMenu);
  }
  ~MenuWatch()
  {
    swap(createMenu, _createMenu);
    swap(createPopupMenu, _createPopupMenu);
    swap(destroyMenu, _destroyMenu);
  }
  MenuWatch(const MenuWatch&) = delete;
  MenuWatch& operator=(const MenuWatch&) = delete;

  int alive() const
  {
    int count = 0;
    for (HMENU menu : _made)
      count += IsMenu(menu) != FALSE;
    return count;
  }
  int badDestroys = 0;

private:
  // Every import slot of this program that holds `from` gets `to`.
  template <typename Function>
  static void swap(Function* from, Function* to)
  {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; dll->Name; dll++) {
      for (auto slot = reinterpret_cast<Function**>(base + dll->FirstThunk); *slot; slot++) {
        DWORD protection;
        if (*slot == from && VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
          *slot = to;
          VirtualProtect(slot, sizeof *slot, protection, &protection);
        }
      }
    }
  }
  static bool holds(HMENU menu, HMENU wanted)
  {
    bool found = menu && menu == wanted;
    for (int i = 0; menu && !found && i < GetMenuItemCount(menu); i++)
      found = holds(GetSubMenu(menu, i), wanted);
    return found;
  }
  static BOOL CALLBACK findHolder(HWND window, LPARAM menu)
  {
    _current->_held = holds(GetMenu(window), reinterpret_cast<HMENU>(menu));
    return !_current->_held;
  }
  static HMENU made(HMENU menu)
  {
    _current->_made.push_back(menu);
    return menu;
  }
  static HMENU WINAPI createMenu() { return made(_createMenu()); }
  static HMENU WINAPI createPopupMenu() { return made(_createPopupMenu()); }
  static BOOL WINAPI destroyMenu(HMENU menu)
  {
    _current->_held = false;
    EnumThreadWindows(GetCurrentThreadId(), findHolder, reinterpret_cast<LPARAM>(menu));
    _current->badDestroys += !IsMenu(menu) || _current->_held;
    return _destroyMenu(menu);
  }

  std::vector<HMENU> _made;
  bool _held = false;
  static inline MenuWatch* _current = nullptr;
  // The system's own, which the import slots hold.
  template <typename Function>
  static Function* system(const char* name)
  {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
  }
  static inline auto _createMenu = system<decltype(CreateMenu)>("CreateMenu");
  static inline auto _createPopupMenu = system<decltype(CreatePopupMenu)>("CreatePopupMenu");
  static inline auto _destroyMenu = system<decltype(DestroyMenu)>("DestroyMenu");
};
