// The headless entry: the media server without a desktop, logging to its
// console, until its standard input closes or it is interrupted.
#include "Debug.h"
#include "LocalAddress.h"
#include "Log.h"
#include "MediaServer.h"
#include "Portability.h"
#include "StreamerAppLog.h"

#include <windows.h>

#include <process.h>

#include <cstdio>

namespace {

// Set when the server should stop: end of input, Ctrl-C, console closed.
HANDLE stopRequested;
// Set once the server is gone, so that a console-close handler may return.
HANDLE stopped;

void printLogLine(const char* key, const char* text)
{
  printf("%s: %s\n", key, text);
  fflush(stdout);
}

// Reads below the C library: a thread blocked in fgets would hold the
// stream's lock that exit() waits for.
unsigned __stdcall watchInput(void*)
{
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD count;
  while (ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
  }
  SetEvent(stopRequested);
  return 0;
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
  SetEvent(stopRequested);
  // For a closing console the process ends when this returns.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
    WaitForSingleObject(stopped, INFINITE);
  return TRUE;
}

}

int wmain()
{
  openDebugOutputFile();
  LogSetSink(printLogLine);
  LogPrintf(STREAMER_APP_LOG_KEY, "Application started.");
  SetCurrentDirectoryW(getDirectory(getModulePath()).c_str());

  stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);

  MediaServer* server = new MediaServer();
  int result = 0;
  if (server->startWebServer()) {
    printf("http://%s:%d\n", getLocalAddress().c_str(), server->getPort());
    fflush(stdout);
    CloseHandle(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, watchInput, nullptr, 0, nullptr)));
    WaitForSingleObject(stopRequested, INFINITE);
    LogPrintf(STREAMER_APP_LOG_KEY, "Shutting down.");
  } else {
    result = 1;
  }
  delete server;
  LogPrintf(STREAMER_APP_LOG_KEY, "Stopped.");
  LogSetSink(nullptr);
  SetEvent(stopped);
  return result;
}
