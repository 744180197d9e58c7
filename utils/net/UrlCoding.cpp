#include "UrlCoding.h"

#include "StringUtil.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* const URL_SAFE = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~";

bool isHexDigit(char c)
{
  return isxdigit(static_cast<unsigned char>(c)) != 0;
}

}

std::string urlEncode(const std::string& text)
{
  std::string out;
  for (char c : text) {
    if (c != '\0' && strchr(URL_SAFE, c)) {
      out += c;
    } else {
      char escape[4];
      snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned char>(c));
      out += escape;
    }
  }
  return out;
}

std::string urlDecode(const std::string& text)
{
  std::vector<char> out(text.size() + 1);
  urlDecodeInto(out.data(), text.c_str());
  return out.data();
}

void urlDecodeInto(char* destination, const char* source)
{
  while (*source) {
    // A '%' without two hexadecimal digits is kept as it is: turning it
    // into a byte 0 would cut the text short.
    if (source[0] == '%' && isHexDigit(source[1]) && isHexDigit(source[2])) {
      *destination++ = static_cast<char>(hexPairValue(source + 1));
      source += 3;
    } else {
      *destination++ = *source == '+' ? ' ' : *source;
      ++source;
    }
  }
  *destination = '\0';
}

unsigned char hexPairValue(const char* two)
{
  unsigned high;
  unsigned low;
  parseHex(two, &high, 1);
  parseHex(two + 1, &low, 1);
  return static_cast<unsigned char>(high * 16 + low);
}
