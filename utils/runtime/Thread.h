#pragma once

#include <windows.h>

#include <cstdint>

// Base of every worker thread. A subclass overrides run() and ends it on a
// flag of its own: there is no way to stop a thread from outside.
class Thread {
public:
  Thread();
  virtual ~Thread();  // joins

  // Joins an earlier run first; false when the thread could not be started.
  virtual bool start();
  virtual void run();

  void join();
  uint32_t getId() const { return threadId; }
  bool isStarted() const { return handle != 0; }
  void raisePriority();

  static uint32_t currentId();
  static void sleep(unsigned milliseconds);
  static bool UnitTest();

private:
  static unsigned __stdcall threadProc(void* object);

  uint32_t threadId = 0;
  HANDLE handle = 0;
  Thread* _debugInfo;  // catches a thread started on a dead or foreign object
};

// A lock whose operations carry the caller's source position for the trace.
class Mutex {
public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock(const char* file, int line);
  void unlock(const char* file, int line);

  uint32_t owner = 0;  // informational only

private:
  CRITICAL_SECTION _section;
};

#define MUTEX_LOCK(m) (m).lock(__FILE__, __LINE__)
#define MUTEX_UNLOCK(m) (m).unlock(__FILE__, __LINE__)

class ScopedLock {
public:
  explicit ScopedLock(Mutex* mutex);
  ~ScopedLock();
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

private:
  Mutex* _mutex;
};

// Auto-reset signal used with a Mutex like a condition variable: a set()
// with no waiter is kept for the next wait().
class Event {
public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool wait(Mutex& m, const char* file, int line);
  bool waitFor(Mutex& m, unsigned timeoutMs);
  void set();

private:
  bool waitReleasing(Mutex& m, const char* file, int line, DWORD timeoutMs);

  HANDLE _event;
};
