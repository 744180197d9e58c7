#include "Menu.h"

#include "Assert.h"

#include <cstring>
#include <cwchar>

// ---------------------------------------------------------------- Menu

Menu::Menu(bool popup) : hMenu(popup ? CreatePopupMenu() : CreateMenu()), owned(true), count(0) {}

Menu::Menu() : Menu(true) {}

Menu::Menu(HMENU menu) : hMenu(menu), owned(false), count(0) {}

Menu::~Menu()
{
  if (owned)
    DestroyMenu(hMenu);
  hMenu = 0;
}

HMENU Menu::handOver()
{
  owned = false;
  return hMenu;
}

Menu& Menu::append(const wchar_t* text, UINT id)
{
  AppendMenuW(hMenu, MF_STRING, id, text);
  count++;
  return *this;
}

Menu& Menu::appendSeparator()
{
  AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
  count++;
  return *this;
}

Menu& Menu::appendPopup(const wchar_t* text, Menu& submenu)
{
  AppendMenuW(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu.handOver()), text);
  count++;
  return *this;
}

Menu& Menu::appendOwnerDraw(const void* data, UINT id)
{
  AppendMenuW(hMenu, MF_OWNERDRAW, id, static_cast<const wchar_t*>(data));
  count++;
  return *this;
}

void Menu::check(UINT id, bool on)
{
  CheckMenuItem(hMenu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void Menu::enable(UINT id, bool enabled)
{
  ASSERT(GetMenuItemCount(hMenu) > 0);
  ASSERT(IsMenu(hMenu));
  EnableMenuItem(hMenu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Menu::setDefaultItem(UINT id)
{
  SetMenuDefaultItem(hMenu, id, FALSE);
}

void Menu::setItemText(UINT id, const wchar_t* text)
{
  MENUITEMINFOW info;
  memset(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = MIIM_TYPE;
  info.fType = MFT_STRING;
  info.dwTypeData = const_cast<wchar_t*>(text);
  info.cch = static_cast<UINT>(wcslen(text));
  SetMenuItemInfoW(hMenu, id, FALSE, &info);
}

void Menu::removeAll()
{
  for (; count > 0; count--)
    RemoveMenu(hMenu, 0, MF_BYPOSITION);
}

// ---------------------------------------------------------------- accelerators

AcceleratorListEntry _acceleratorList[MAX_ACCELERATOR_TABLES];
int _numAccelerators = 0;

namespace {

// A window destroyed before its table was detached (by its owner, or by
// DestroyWindow) takes its table out of the list.
void detachTablesOfGoneWindows()
{
  for (int i = 0; i < _numAccelerators;) {
    if (IsWindow(_acceleratorList[i].hwnd))
      i++;
    else
      _acceleratorList[i].table->detach();
  }
}

}

AcceleratorTable::AcceleratorTable() : registered(false), _haccel(0), items(0)
{
  memset(_array, 0, sizeof(_array));
}

// The loop walks the list on every message: a deleted table must leave it.
AcceleratorTable::~AcceleratorTable()
{
  detach();
  destroyHandle();
}

void AcceleratorTable::destroyHandle()
{
  if (_haccel)
    DestroyAcceleratorTable(_haccel);
  _haccel = 0;
}

AcceleratorTable& AcceleratorTable::add(BYTE fVirt, WORD key, WORD cmd)
{
  destroyHandle();
  ASSERT(items < static_cast<int>(sizeof(_array) / sizeof(*_array)));
  _array[items].fVirt = fVirt;
  _array[items].key = key;
  _array[items].cmd = cmd;
  items++;
  return *this;
}

HACCEL AcceleratorTable::getHandle()
{
  if (!_haccel) {
    _haccel = CreateAcceleratorTableW(_array, items);
    ASSERT(_haccel);
  }
  return _haccel;
}

void AcceleratorTable::attach(HWND hwnd)
{
  detachTablesOfGoneWindows();
  if (_numAccelerators >= MAX_ACCELERATOR_TABLES) {
    ASSERT(0);
    return;
  }
  if (registered)
    return;
  _acceleratorList[_numAccelerators].hwnd = hwnd;
  _acceleratorList[_numAccelerators].table = this;
  _numAccelerators++;
  registered = true;
}

void AcceleratorTable::detach()
{
  if (!registered)
    return;
  ASSERT(_numAccelerators > 0);
  int i = 0;
  while (i < _numAccelerators && _acceleratorList[i].table != this)
    i++;
  for (; i + 1 < _numAccelerators; i++)
    _acceleratorList[i] = _acceleratorList[i + 1];
  _numAccelerators--;
  registered = false;
}

bool translateAccelerators(MSG* msg)
{
  detachTablesOfGoneWindows();
  bool translated = false;
  for (int i = 0; i < _numAccelerators; i++) {
    if (TranslateAcceleratorW(_acceleratorList[i].hwnd, _acceleratorList[i].table->getHandle(), msg))
      translated = true;
  }
  return translated;
}
