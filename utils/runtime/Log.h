#pragma once

// Named log channels: each source file registers one key and logs under it;
// enabled lines go with the key's name to the one installed sink.

const unsigned MAX_LOG_KEYS = 100;

struct LogKey {
  const char* name;  // the caller's static text, not copied
  bool enabled;
};

typedef void (*LogSinkFunction)(const char* key, const char* text);

int LogRegisterKey(const char* name, bool enabled);
void LogPrintf(int key, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void LogSetSink(LogSinkFunction sink);
void LogEnableKey(const char* name, bool on);
void LogEnablePrefix(const char* prefix, bool on);
