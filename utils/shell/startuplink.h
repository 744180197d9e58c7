#pragma once

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

// The path without the blanks and quotes around it, made absolute from the
// current folder; empty when nothing is left.
std::wstring makeFullPath(const wchar_t* path);
// The path, without the blanks and quotes around it, split at its last
// backslash; a root folder keeps its backslash. Either output may be null.
void splitPath(const wchar_t* path, std::wstring* folder, std::wstring* file);
// The index just after the last backslash, or -1.
int findFileNameStart(const wchar_t* path);
