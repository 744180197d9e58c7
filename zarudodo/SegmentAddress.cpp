#include "SegmentAddress.h"

#include "StringUtil.h"

#include <cctype>

bool parseSegment(const std::string& path, const char* ss, SegmentAddress& segment)
{
  std::string rest = path.substr(3);
  size_t slash = rest.rfind('/');
  if (slash == std::string::npos) {
    segment.name = toWide(rest);
    segment.start = parseStartSeconds(ss);
    return true;
  }
  std::string file = rest.substr(slash + 1);
  segment.name = toWide(rest.substr(0, slash));
  segment.start = parseStartSeconds(file.c_str());
  segment.toEnd = endsWith(file, LAST_SEGMENT_SUFFIX);
  return endsWith(file, SEGMENT_SUFFIX);
}

int parseStartSeconds(const char* text)
{
  if (!text)
    return 0;
  while (isspace(static_cast<unsigned char>(*text)))
    ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+')
    ++text;
  int seconds = 0;
  for (; isdigit(static_cast<unsigned char>(*text)); ++text) {
    seconds = seconds * 10 + (*text - '0');
    if (seconds > MAX_START_SECONDS)
      return negative ? 0 : MAX_START_SECONDS;
  }
  return negative ? 0 : seconds;
}
