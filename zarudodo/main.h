#pragma once

#include "DbHandler.h"
#include "MediaServer.h"
#include "Playlist.h"
#include "SegmentAddress.h"
#include "Settings.h"
#include "StaticFileHandler.h"
#include "VideoHandler.h"
#include "json.h"

#include <string>
#include <vector>

// The dotted IPv4 text of the local host's first address, or "unknown".
std::string getLocalAddress();
