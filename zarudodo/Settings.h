#pragma once

#include "json.h"

struct FindParams;

const int DEFAULT_PORT = 1025;

// Settings helpers: they never fail on values of an unexpected type.
void writeDefaultSettings(json& settings);
int portFromSettings(json& settings);
void fillFindParams(json& settings, FindParams& params);
// A copy of a member, null when the object lacks it (or is no object), so
// that reading never adds the key.
json member(json& object, const char* key);
