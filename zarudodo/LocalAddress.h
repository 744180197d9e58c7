#pragma once

#include <string>

// The dotted IPv4 text of the local host's first address, or "unknown".
std::string getLocalAddress();
