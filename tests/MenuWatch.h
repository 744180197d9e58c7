#pragma once

// Watches the menus that this program makes and destroys, through its own
// imports of USER32: how many of those it made are still menus, and how many
// destroy calls named a menu already gone or one that a window of this
// thread still holds (the window destroys its menu bar, and the popups in
// it, itself). One watch at a time.

#include <windows.h>

#include <cstring>
#include <vector>

class MenuWatch {
public:
  MenuWatch()
  {
    _current = this;
    _create = swap("CreateMenu", reinterpret_cast<void*>(createMenu));
    _createPopup = swap("CreatePopupMenu", reinterpret_cast<void*>(createPopupMenu));
    _destroy = swap("DestroyMenu", reinterpret_cast<void*>(destroyMenu));
  }
  ~MenuWatch()
  {
    swap("CreateMenu", _create);
    swap("CreatePopupMenu", _createPopup);
    swap("DestroyMenu", _destroy);
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
  // Puts the replacement into this program's import slot; the old entry back.
  static void* swap(const char* name, void* replacement)
  {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; dll->Name; dll++) {
      if (_stricmp(reinterpret_cast<char*>(base + dll->Name), "user32.dll"))
        continue;
      auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
      auto slot = reinterpret_cast<void**>(base + dll->FirstThunk);
      for (; names->u1.AddressOfData; names++, slot++) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
            strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name, name))
          continue;
        DWORD protection;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
        void* original = *slot;
        *slot = replacement;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
        return original;
      }
    }
    return nullptr;
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
  static HMENU WINAPI createMenu() { return made(reinterpret_cast<HMENU(WINAPI*)()>(_current->_create)()); }
  static HMENU WINAPI createPopupMenu()
  {
    return made(reinterpret_cast<HMENU(WINAPI*)()>(_current->_createPopup)());
  }
  static BOOL WINAPI destroyMenu(HMENU menu)
  {
    _current->_held = false;
    EnumThreadWindows(GetCurrentThreadId(), findHolder, reinterpret_cast<LPARAM>(menu));
    _current->badDestroys += !IsMenu(menu) || _current->_held;
    return reinterpret_cast<BOOL(WINAPI*)(HMENU)>(_current->_destroy)(menu);
  }

  std::vector<HMENU> _made;
  bool _held = false;
  void* _create;
  void* _createPopup;
  void* _destroy;
  static inline MenuWatch* _current = nullptr;
};
