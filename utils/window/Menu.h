#pragma once

#include <windows.h>

// Menus, and the keyboard accelerator tables the message loop consults.

class Menu {
public:
  explicit Menu(bool popup);
  Menu();
  explicit Menu(HMENU menu);
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // For a window that takes the menu as its menu bar, or a menu that takes
  // it as a popup: they destroy it with themselves, this object no longer.
  HMENU handOver();
  Menu& append(const wchar_t* text, UINT id);
  Menu& appendSeparator();
  // The submenu is handed over.
  Menu& appendPopup(const wchar_t* text, Menu& submenu);
  Menu& appendOwnerDraw(const void* data, UINT id);
  void check(UINT id, bool on);
  void enable(UINT id, bool enabled);
  void setDefaultItem(UINT id);
  void setItemText(UINT id, const wchar_t* text);
  // Removes the items appended through this object.
  void removeAll();
  int getCount() const { return count; }

  HMENU hMenu;
  bool owned;
  int count;
};

const int MAX_ACCELERATORS = 8;
const int MAX_ACCELERATOR_TABLES = 10;

// Keyboard accelerators of one window; attached tables are offered every
// message the loop gets.
class AcceleratorTable {
public:
  AcceleratorTable();
  ~AcceleratorTable();
  AcceleratorTable(const AcceleratorTable&) = delete;
  AcceleratorTable& operator=(const AcceleratorTable&) = delete;

  AcceleratorTable& add(BYTE fVirt, WORD key, WORD cmd);
  HACCEL getHandle();
  void attach(HWND hwnd);
  void detach();
  bool isRegistered() const { return registered; }

private:
  void destroyHandle();

  bool registered;
  HACCEL _haccel;
  ACCEL _array[MAX_ACCELERATORS];
  int items;
};

struct AcceleratorListEntry {
  HWND hwnd;
  AcceleratorTable* table;
};

extern AcceleratorListEntry _acceleratorList[MAX_ACCELERATOR_TABLES];
extern int _numAccelerators;

// True when an attached table turned the message into a command.
bool translateAccelerators(MSG* msg);
