// The headless entry: runs without a desktop, logging to its console, until
// its standard input closes.
#include "Debug.h"
#include "Log.h"

#include <cstdio>

namespace {

const int LOG_KEY = LogRegisterKey("L_StreamerApp", true);

void printLogLine(const char* key, const char* text)
{
  printf("%s: %s\n", key, text);
  fflush(stdout);
}

void waitForInputToClose()
{
  char buffer[256];
  while (fgets(buffer, sizeof buffer, stdin)) {
  }
}

}

int wmain()
{
  openDebugOutputFile();
  LogSetSink(printLogLine);
  LogPrintf(LOG_KEY, "Application started.");
  waitForInputToClose();
  LogSetSink(nullptr);
  return 0;
}
