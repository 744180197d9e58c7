#pragma once

#include "Thread.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class StreamContext;

// One client's record, copied by value between the manager and a request.
struct ContextInfo {
  std::string host;                  // the client's address, the key
  std::wstring path;                 // the video the context transcodes
  int time = 0;                      // start in seconds the next request must carry
  StreamContext* context = nullptr;  // null: the request creates one
  bool inUse = false;                // a request holds this client's context
  int seq = 0;                       // which acquire made the record
  uint64_t releasedAt = 0;           // clock reading when it went idle
};

// Keeps each client's stream context between its segment requests, so that
// playing a video in order needs one transcoder from start to end. A context
// nobody asks for within the idle time-out is ended: its paused transcoder
// holds memory and keeps the video file open.
class ContextManager {
public:
  static const unsigned IDLE_TIMEOUT_MS = 60000;

  explicit ContextManager(unsigned idleTimeoutMs = IDLE_TIMEOUT_MS);
  // Ends every stored transcoder; no request may be active.
  virtual ~ContextManager();
  ContextManager(const ContextManager&) = delete;
  ContextManager& operator=(const ContextManager&) = delete;

  ContextInfo acquire(std::string host, std::wstring path, int time);
  // Gives a context back after a completed segment.
  void release(ContextInfo info);
  // Deletes the context of a failed or finished request and forgets the
  // client's record when it is still that request's.
  void discard(ContextInfo info);
  // Ends the idle contexts older than the time-out.
  void expireIdle();
  // Runs expireIdle on a thread of its own until the manager goes.
  bool startExpiry();

protected:
  // Where every context the manager ends goes; a test can watch it.
  virtual void deleteContext(StreamContext* context);
  // Milliseconds on a steady clock; a test can set the time.
  virtual uint64_t now() const;

private:
  class ExpiryThread;

  // Ending a transcoder can take seconds: it happens after the lock is let go.
  void deleteContexts(const std::vector<StreamContext*>& contexts);

  Mutex _mutex;
  std::map<std::string, ContextInfo> _contexts;
  int _counter = 0;
  unsigned _idleTimeoutMs;
  ExpiryThread* _expiry = nullptr;
};
