#include "Thread.h"

#include "Assert.h"
#include "Debug.h"

#include <process.h>

#include <cstdio>

namespace {
const unsigned short DEBUG_MUTEX = 0x1001;
}

Thread::Thread() : _debugInfo(this) {}

Thread::~Thread()
{
  join();
  _debugInfo = 0;
}

bool Thread::start()
{
  join();
  unsigned id = 0;
  handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, threadProc, this, 0, &id));
  threadId = id;
  return handle != 0;
}

unsigned __stdcall Thread::threadProc(void* object)
{
  Thread* thread = static_cast<Thread*>(object);
  ASSERT(thread->_debugInfo == thread);
  thread->run();
  return 0;
}

void Thread::run()
{
  ASSERT(_debugInfo == this);
}

void Thread::join()
{
  if (!handle)
    return;
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
  handle = 0;
}

void Thread::raisePriority()
{
  SetThreadPriority(handle, THREAD_PRIORITY_ABOVE_NORMAL);
}

uint32_t Thread::currentId()
{
  return GetCurrentThreadId();
}

void Thread::sleep(unsigned milliseconds)
{
  Sleep(milliseconds);
}

namespace {

class TestThread : public Thread {
public:
  explicit TestThread(char letter) : _letter(letter) {}
  ~TestThread() override { join(); }

  void run() override
  {
    for (int i = 0; i < 80; ++i) {
      printf("%c", _letter);
      sleep(10);
    }
  }

private:
  char _letter;
};

}

bool Thread::UnitTest()
{
  TestThread a('a');
  TestThread b('b');
  a.start();
  b.start();
  a.join();
  b.join();
  return true;
}

Mutex::Mutex()
{
  InitializeCriticalSection(&_section);
}

Mutex::~Mutex()
{
  DeleteCriticalSection(&_section);
}

void Mutex::lock(const char* file, int line)
{
  EnterCriticalSection(&_section);
  debugPrint(DEBUG_MUTEX, "%s:%d: Thread %d locked mutex %x", file, line,
             static_cast<int>(Thread::currentId()), static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
  owner = Thread::currentId();
}

void Mutex::unlock(const char* file, int line)
{
  owner = 0;
  debugPrint(DEBUG_MUTEX, "%s:%d: Thread %d unlocking mutex %x", file, line,
             static_cast<int>(Thread::currentId()), static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
  LeaveCriticalSection(&_section);
}

ScopedLock::ScopedLock(Mutex* mutex) : _mutex(mutex)
{
  _mutex->lock(__FILE__, __LINE__);
}

ScopedLock::~ScopedLock()
{
  try {
    _mutex->unlock(__FILE__, __LINE__);
    _mutex = nullptr;
  } catch (...) {
  }
}

Event::Event() : _event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

Event::~Event()
{
  CloseHandle(_event);
}

bool Event::wait(Mutex& m, const char* file, int line)
{
  return waitReleasing(m, file, line, INFINITE);
}

bool Event::waitFor(Mutex& m, unsigned timeoutMs)
{
  return waitReleasing(m, __FILE__, __LINE__, timeoutMs);
}

bool Event::waitReleasing(Mutex& m, const char* file, int line, DWORD timeoutMs)
{
  m.unlock(file, line);
  DWORD result = WaitForSingleObject(_event, timeoutMs);
  m.lock(file, line);
  return result == WAIT_OBJECT_0;
}

void Event::set()
{
  SetEvent(_event);
}
