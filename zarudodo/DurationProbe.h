#pragma once

#include <windows.h>

#include <string>

// How a path's short form is asked for; tests put a failing one in its place.
typedef DWORD(WINAPI* ShortPathQuery)(LPCWSTR path, LPWSTR out, DWORD outLength);

// The 8.3 form of an existing file's path, so that blanks and non-ASCII
// letters never reach the transcoder's command line; the path itself when
// there is none.
std::wstring shortPath(const std::wstring& path, ShortPathQuery query = GetShortPathNameW);

// Runs the transcoder with nothing but "-i" and the video, and reads the
// length to the hundredth of a second, in milliseconds, from the input's
// own "Duration: " line of its report. False, with *milliseconds 0, when the
// transcoder does not start or the report has no readable length.
bool getDuration(const char* executable, const std::wstring& videoPath, int* milliseconds);
