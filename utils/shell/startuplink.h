#pragma once

#include "Paths.h"

#include <windows.h>

#include <string>

// A shortcut named after a program in the user's Startup folder starts the
// program when the user logs on. The shortcuts are shell links, so COM must
// be initialised on the calling thread.

// target: the program's path, quotes allowed.
bool createStartupLink(const wchar_t* name, const wchar_t* target);
bool deleteStartupLink(const wchar_t* name);
bool startupLinkExists(const wchar_t* name);
// False also for a name that is not a plain file name.
bool getStartupLinkPath(const wchar_t* name, std::wstring& out);
bool getStartupFolder(std::wstring& out);

// Writes a shortcut that starts the target minimised in the target's folder.
HRESULT createShortcut(const wchar_t* target, const wchar_t* linkPath, const wchar_t* description);
