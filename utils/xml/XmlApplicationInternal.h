#pragma once

#include "TagParser.h"

#include <string>

// What the application framework's source files share.

// The framework's log channel, "L_XmlApplication".
extern const int XML_LOG_KEY;

// The tag's attribute of that name; empty when it has none.
std::wstring attribute(const CTag& tag, const wchar_t* name);
