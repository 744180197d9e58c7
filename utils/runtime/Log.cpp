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
