#pragma once

#include <windows.h>

#include <cstddef>

// The clipboard. Each call opens and closes it itself, with the given window
// as its owner meanwhile. Data is made ready before the clipboard is
// emptied, so a copy that cannot be made leaves the user's clipboard as it
// was. Failures are the caller's to log, on its own channel.

// A movable block holding first and then second, or null.
HGLOBAL makeClipboardBlock(const void* first, size_t firstSize, const void* second, size_t secondSize);
// Replaces the clipboard's content by the block, which the clipboard then
// owns; the block is freed when that fails. False for a null block.
bool putOnClipboard(HWND owner, UINT format, HGLOBAL block);
// length characters of the text (-1: up to its NUL), then a NUL, as Unicode
// text.
bool setClipboardText(HWND owner, const wchar_t* text, int length = -1);
// A copy from the tracked heap that the caller frees, or null.
wchar_t* getClipboardText(HWND owner);
