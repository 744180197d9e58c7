#pragma once

// Watches the menus that this program makes and destroys, through its own
// imports of the system's menu functions: how many of those it made are
// still menus, and how many destroy calls named a menu already gone or one
// that a window still holds (a window destroys its menu bar, and the popups
// in it, with itself). One watch at a time.

#include <windows.h>

#include <cstring>
#include <vector>

class MenuWatch {
public:
  MenuWatch()
  {
    _current = this;
    swap("CreateMenu", reinterpret_cast<void*>(createMenu), _createMenu);
    swap("CreatePopupMenu", reinterpret_cast<void*>(createPopupMenu), _createPopupMenu);
    swap("DestroyMenu", reinterpret_cast<void*>(destroyMenu), _destroyMenu);
  }
  ~MenuWatch()
  {
    void* watcher;
    swap("CreateMenu", _createMenu, watcher);
    swap("CreatePopupMenu", _createPopupMenu, watcher);
    swap("DestroyMenu", _destroyMenu, watcher);
    _current = nullptr;
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
  // The slot of this program's import of a USER32 function.
  static void** importSlot(const char* name)
  {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; dll->Name; dll++) {
      if (_stricmp(reinterpret_cast<char*>(base + dll->Name), "user32.dll"))
        continue;
      auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
      auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
      for (; names->u1.AddressOfData; names++, slots++) {
        if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
            !strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name, name))
          return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
    return nullptr;
  }
  static void swap(const char* name, void* replacement, void*& original)
  {
    void** slot = importSlot(name);
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    original = *slot;
    *slot = replacement;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
  }
  static bool holds(HMENU menu, HMENU wanted)
  {
    if (menu == wanted)
      return true;
    for (int i = 0; menu && i < GetMenuItemCount(menu); i++) {
      if (holds(GetSubMenu(menu, i), wanted))
        return true;
    }
    return false;
  }
  static BOOL CALLBACK findHolder(HWND window, LPARAM menu)
  {
    _current->_held = holds(GetMenu(window), reinterpret_cast<HMENU>(menu));
    return !_current->_held;
  }
  static HMENU WINAPI createMenu()
  {
    HMENU menu = reinterpret_cast<HMENU(WINAPI*)()>(_current->_createMenu)();
    _current->_made.push_back(menu);
    return menu;
  }
  static HMENU WINAPI createPopupMenu()
  {
    HMENU menu = reinterpret_cast<HMENU(WINAPI*)()>(_current->_createPopupMenu)();
    _current->_made.push_back(menu);
    return menu;
  }
  static BOOL WINAPI destroyMenu(HMENU menu)
  {
    _current->_held = false;
    EnumThreadWindows(GetCurrentThreadId(), findHolder, reinterpret_cast<LPARAM>(menu));
    if (!IsMenu(menu) || _current->_held)
      _current->badDestroys++;
    return reinterpret_cast<BOOL(WINAPI*)(HMENU)>(_current->_destroyMenu)(menu);
  }

  std::vector<HMENU> _made;
  bool _held = false;
  void* _createMenu;
  void* _createPopupMenu;
  void* _destroyMenu;
  static inline MenuWatch* _current = nullptr;
};
