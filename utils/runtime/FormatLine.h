#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// Log and debug lines are formatted on the caller's stack into a fixed
// buffer; a longer text is cut to its first LINE_KEEP bytes.
const size_t LINE_SIZE = 1024;
const size_t LINE_KEEP = 1022;

inline void formatLine(char (&line)[LINE_SIZE], const char* format, va_list args)
{
  vsnprintf(line, LINE_SIZE - 1, format, args);
  line[LINE_KEEP] = '\0';
}
