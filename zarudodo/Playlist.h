#pragma once

#include <string>

// The playlist of a video of durationMs: 10-second segments, the last one
// to the end, a tail under half a second joined to it.
std::string buildPlaylist(std::string host, std::wstring videoName, int durationMs);
