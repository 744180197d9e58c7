#pragma once

// Invariants of our own code; unlike <cassert> they stay in every build,
// since a failed one means the state can no longer be trusted.
[[noreturn]] void assertFailed(const char* expression, const char* file, int line);

#define ASSERT(expression) \
  ((expression) ? (void)0 : assertFailed(#expression, __FILE__, __LINE__))
