#include "Log.h"

#include "Assert.h"
#include "FormatLine.h"

#include <atomic>
#include <cstring>

namespace {

// Zero-initialised before any static constructor registers a key.
LogKey _keys[MAX_LOG_KEYS];
unsigned _keyCount;
std::atomic<LogSinkFunction> _sink{nullptr};

// A line's text may repeat what others wrote (a requested address, a file's
// name): a line break inside it would start a line of their making, looking
// like the program's own. Those before the text's end become blanks.
void keepOnOneLine(char* text)
{
  size_t end = strlen(text);
  while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
    --end;
  for (char* c = text; c != text + end; ++c) {
    if (*c == '\n' || *c == '\r')
      *c = ' ';
  }
}

}

int LogRegisterKey(const char* name, bool enabled)
{
  ASSERT(_keyCount != MAX_LOG_KEYS);
  _keys[_keyCount] = {name, enabled};
  return static_cast<int>(_keyCount++);
}

void LogPrintf(int key, const char* format, ...)
{
  LogSinkFunction sink = _sink.load(std::memory_order_acquire);
  if (!sink || static_cast<unsigned>(key) >= _keyCount || !_keys[key].enabled)
    return;

  char line[LINE_SIZE];
  va_list args;
  va_start(args, format);
  formatLine(line, format, args);
  va_end(args);
  keepOnOneLine(line);
  sink(_keys[key].name, line);
}

void LogSetSink(LogSinkFunction sink)
{
  _sink.store(sink, std::memory_order_release);
}

void LogEnableKey(const char* name, bool on)
{
  for (unsigned i = 0; i < _keyCount; ++i) {
    if (strcmp(_keys[i].name, name) == 0) {
      _keys[i].enabled = on;
      return;
    }
  }
}

void LogEnablePrefix(const char* prefix, bool on)
{
  size_t length = strlen(prefix);
  for (unsigned i = 0; i < _keyCount; ++i) {
    if (strncmp(_keys[i].name, prefix, length) == 0)
      _keys[i].enabled = on;
  }
}
