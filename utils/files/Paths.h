#pragma once

#include <string>

// Paths as text: UTF-16, backslash separators.

// An absolute name (leading backslash, or a drive colon) replaces dir.
std::wstring joinPath(const std::wstring& dir, const std::wstring& name);
std::wstring joinPath(const std::wstring& a, const std::wstring& b, const std::wstring& c);

// The index just after the last backslash, or -1.
int findFileNameStart(const wchar_t* path);
// Up to and with the last backslash; empty without one.
std::wstring getDirectory(const std::wstring& path);
std::wstring getFileName(const std::wstring& path);
// Cuts the path after its last backslash; the new length.
int stripFileName(wchar_t* path);
void appendBackslash(wchar_t* path);
void removeBackslash(wchar_t* path);

// After the path's last dot, wherever it stands.
std::wstring getExtension(const std::wstring& path);
std::wstring stripExtension(const std::wstring& path);
// The index after the file name's last dot, or -1 without one.
int findExtension(const wchar_t* path);
// Whether the file name's extension is ext, ignoring case; an empty ext
// stands for no extension.
bool hasExtension(const wchar_t* path, const wchar_t* ext);

// The path without the blanks and quotes around it, made absolute from the
// current folder; empty when nothing is left.
std::wstring makeFullPath(const wchar_t* path);
// The path, without the blanks and quotes around it, split at its last
// backslash; a root folder keeps its backslash. Either output may be null.
void splitPath(const wchar_t* path, std::wstring* folder, std::wstring* file);

std::wstring getModulePath();
// The program's folder with its backslash, and its length; 0 when it does
// not fit the buffer.
int getModuleDirectory(wchar_t* buffer, int size);
void setWorkingDirectoryToModule();
