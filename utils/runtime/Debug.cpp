#include "Debug.h"

#include "FormatLine.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

FILE* debugOutputFile;

namespace {

const int DEFAULT_CATEGORIES[] = {99, 0};

std::atomic<DebugOutputFunction> _output{defaultDebugOutput};
std::atomic<const int*> _categories{DEFAULT_CATEGORIES};

bool isEnabled(int category)
{
  for (const int* c = _categories.load(std::memory_order_acquire); *c; ++c) {
    if (*c == category)
      return true;
  }
  return false;
}

}

void debugPrint(unsigned short category, const char* format, ...)
{
  if (!isEnabled(category))
    return;

  char line[LINE_SIZE];
  va_list args;
  va_start(args, format);
  formatLine(line, format, args);
  va_end(args);
  strcat(line, "\n");
  _output.load(std::memory_order_acquire)(line);
}

void setDebugOutput(DebugOutputFunction fn)
{
  _output.store(fn ? fn : defaultDebugOutput, std::memory_order_release);
}

void setDebugCategories(const int* list)
{
  _categories.store(list, std::memory_order_release);
}

void defaultDebugOutput(const char* line)
{
  OutputDebugStringA(line);
}

void openDebugOutputFile()
{
  const wchar_t* name = _wgetenv(L"DEBUG_OUTPUT");
  if (name)
    debugOutputFile = _wfopen(name, L"wt+");
}
