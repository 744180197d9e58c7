// Holds the turn on the settings file of this Wine prefix while a browser test
// runs a server on it: the settings-file unit tests take the same named
// mutex. Prints "held" once it has the turn and gives it back when its
// standard input closes.
#include <windows.h>

#include <cstdio>

int main()
{
  HANDLE turn = CreateMutexW(nullptr, FALSE, L"zarudodo-tests-settings-file");
  if (!turn) {
    fprintf(stderr, "CreateMutexW failed: %lu\n", GetLastError());
    return 1;
  }
  // An abandoned turn (its holder died) is a turn all the same.
  DWORD waited = WaitForSingleObject(turn, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    fprintf(stderr, "WaitForSingleObject failed: %lu\n", GetLastError());
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  char buffer[256];
  while (fgets(buffer, sizeof buffer, stdin)) {
  }
  ReleaseMutex(turn);
  CloseHandle(turn);
  return 0;
}
