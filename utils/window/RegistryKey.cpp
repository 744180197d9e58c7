#include "RegistryKey.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "WindowLog.h"

#include <cstring>
#include <cwchar>

// ---------------------------------------------------------------- RegistryKey

RegistryKey::RegistryKey(HKEY root) : _hkey(root), _owned(false), _parentOwned(false), _name(nullptr), _parent(0) {}

RegistryKey::RegistryKey(const RegistryKey& parentKey, const wchar_t* subkey)
  : _hkey(0), _owned(false), _parentOwned(false), _name(nullptr), _parent(parentKey._hkey)
{
  LONG status = RegCreateKeyExW(_parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &_hkey,
                                nullptr);
  if (status != ERROR_SUCCESS) {
    // Access rights are the user's, not ours to assume: the caller sees isOpen.
    LogPrintf(WINDOW_LOG_KEY, "Creating registry key failed (%ld)", status);
    _hkey = 0;
    return;
  }
  _owned = true;
  _name = DEBUG_WCSDUP(subkey);
}

RegistryKey::~RegistryKey()
{
  if (_owned)
    RegCloseKey(_hkey);
  if (_parentOwned)
    RegCloseKey(_parent);
  DEBUG_FREE(_name);
}

bool RegistryKey::open(const wchar_t* subkey)
{
  HKEY opened = 0;
  if (RegOpenKeyExW(_hkey, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  // Only the last parent is kept, for deleteSelf.
  if (_parentOwned)
    RegCloseKey(_parent);
  _parent = _hkey;
  _parentOwned = _owned;
  _owned = true;
  DEBUG_FREE(_name);
  _name = DEBUG_WCSDUP(subkey);
  _hkey = opened;
  return true;
}

bool RegistryKey::exists(const wchar_t* subkey)
{
  HKEY opened = 0;
  if (RegOpenKeyW(_hkey, subkey, &opened) != ERROR_SUCCESS)
    return false;
  RegCloseKey(opened);
  return true;
}

LONG RegistryKey::set(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
  return RegSetValueExW(_hkey, name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegistryKey::setValue(const wchar_t* name, const wchar_t* text)
{
  return set(name, REG_SZ, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

LONG RegistryKey::setValue(const wchar_t* name, DWORD value)
{
  return set(name, REG_DWORD, &value, sizeof(value));
}

LONG RegistryKey::setValue(const wchar_t* name, int value)
{
  return set(name, REG_DWORD, &value, sizeof(value));
}

LONG RegistryKey::setValue(const wchar_t* name, bool value)
{
  DWORD number = value ? 1 : 0;
  return set(name, REG_DWORD, &number, sizeof(number));
}

LONG RegistryKey::setValue(const wchar_t* name, double value)
{
  return set(name, REG_BINARY, &value, sizeof(value));
}

bool RegistryKey::get(const wchar_t* name, DWORD type, void* data, DWORD size)
{
  // The output stays untouched unless the value has the asked type and size.
  BYTE value[sizeof(double)];
  ASSERT(size <= sizeof(value));
  DWORD found = 0;
  DWORD read = size;
  if (RegQueryValueExW(_hkey, name, nullptr, &found, value, &read) != ERROR_SUCCESS || found != type || read != size)
    return false;
  memcpy(data, value, size);
  return true;
}

bool RegistryKey::getValue(const wchar_t* name, wchar_t* out, int maxLength)
{
  DWORD bytes = static_cast<DWORD>((maxLength + 1) * sizeof(wchar_t));
  wchar_t* text = static_cast<wchar_t*>(DEBUG_MALLOC(bytes));
  if (!text)
    return false;
  DWORD type = 0;
  LONG status = RegQueryValueExW(_hkey, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
  bool ok = status == ERROR_SUCCESS && type == REG_SZ;
  if (ok) {
    // Another program may have stored the text without its terminator.
    size_t length = bytes / sizeof(wchar_t);
    if (length > static_cast<size_t>(maxLength)) {
      ok = text[maxLength] == 0;
      length = maxLength;
    }
    text[length] = 0;
    wcscpy(out, text);
  }
  DEBUG_FREE(text);
  return ok;
}

bool RegistryKey::getValue(const wchar_t* name, DWORD& out)
{
  return get(name, REG_DWORD, &out, sizeof(out));
}

bool RegistryKey::getValue(const wchar_t* name, int& out)
{
  return get(name, REG_DWORD, &out, sizeof(out));
}

bool RegistryKey::getValue(const wchar_t* name, bool& out)
{
  DWORD value = 0;
  if (!getValue(name, value))
    return false;
  out = value != 0;
  return true;
}

bool RegistryKey::getValue(const wchar_t* name, double& out)
{
  return get(name, REG_BINARY, &out, sizeof(out));
}

LONG RegistryKey::deleteSubkey(const wchar_t* subkey)
{
  return RegDeleteKeyW(_hkey, subkey);
}

void RegistryKey::deleteSelf()
{
  if (!_owned)
    return;
  RegCloseKey(_hkey);
  RegDeleteKeyW(_parent, _name);
  _owned = false;
}
