#pragma once

#include <windows.h>

// An open registry key for settings: strings, numbers, booleans and doubles
// under named values, and subkeys to create, open, test and delete.
class RegistryKey {
public:
  explicit RegistryKey(HKEY root);
  // Creates the subkey, or opens it when it exists; see isOpen.
  RegistryKey(const RegistryKey& parentKey, const wchar_t* subkey);
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // False when the key could not be created.
  bool isOpen() const { return _hkey != 0; }
  // Descends into a subkey for reading; on failure stays where it was.
  bool open(const wchar_t* subkey);
  bool exists(const wchar_t* subkey);

  LONG setValue(const wchar_t* name, const wchar_t* text);
  LONG setValue(const wchar_t* name, DWORD value);
  LONG setValue(const wchar_t* name, int value);
  LONG setValue(const wchar_t* name, bool value);
  LONG setValue(const wchar_t* name, double value);
  // out holds maxLength + 1 characters.
  bool getValue(const wchar_t* name, wchar_t* out, int maxLength);
  bool getValue(const wchar_t* name, DWORD& out);
  bool getValue(const wchar_t* name, int& out);
  bool getValue(const wchar_t* name, bool& out);
  bool getValue(const wchar_t* name, double& out);

  LONG deleteSubkey(const wchar_t* subkey);
  // Removes the key this object opened or created; a root stays.
  void deleteSelf();

private:
  LONG set(const wchar_t* name, DWORD type, const void* data, DWORD size);
  bool get(const wchar_t* name, DWORD type, void* data, DWORD size);

  HKEY _hkey;
  bool _owned;
  bool _parentOwned;
  wchar_t* _name;
  HKEY _parent;
};
