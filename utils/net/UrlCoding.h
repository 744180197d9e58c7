#pragma once

#include <string>

// Percent escapes of addresses, query strings and form bodies.

// Every byte but letters, digits and "-_.~" as "%" and two lower-case
// hexadecimal digits; a space is %20, never '+'.
std::string urlEncode(const std::string& text);
// %XX escapes and '+' as the bytes they stand for.
std::string urlDecode(const std::string& text);
// The same into destination, which may be source itself: the text only shrinks.
void urlDecodeInto(char* destination, const char* source);
// A byte that is not a hexadecimal digit counts as 0.
unsigned char hexPairValue(const char* two);
