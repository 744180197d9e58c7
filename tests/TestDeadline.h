#pragma once

#include <windows.h>

// Every test must end within this time, or its program ends with the test's
// name and every thread's stack.
const DWORD DEFAULT_TEST_DEADLINE_MS = 60000;

// Sets the running test's deadline to this many milliseconds from now, for
// its lifetime: a test that needs longer asks for it, and a part that must
// end sooner (a shutdown) fails fast. The deadline before comes back after.
class Deadline {
public:
  explicit Deadline(DWORD milliseconds);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

private:
  ULONGLONG _previous;
};
