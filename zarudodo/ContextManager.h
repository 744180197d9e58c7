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
  bool refused = false;              // no transcoder may start for it now: answer 503
};

// Keeps each client's stream context between its segment requests, so that
// playing a video in order needs one transcoder from start to end. A context
// nobody asks for within the idle time-out is ended: its paused transcoder
// holds memory and keeps the video file open.
//
// Transcoders are bounded, since each takes about 110 MiB and, while it
// works, a processor. At a limit the least recently used idle context is
// ended; when every one is in use, the request is refused.
class ContextManager {
public:
  static const unsigned IDLE_TIMEOUT_MS = 60000;
  // Per client address: two players behind one address (a household behind
  // its router) each have a segment in flight, and a player's aborted start
  // holds one more for a moment.
  static constexpr int MAX_TRANSCODERS_PER_CLIENT = 4;
  // Overall, per processor: more would only share the same processors, and
  // every stream would fall behind.
  static constexpr int TRANSCODERS_PER_PROCESSOR = 4;
  // What a refused client is told to wait: a segment in flight ends within
  // seconds.
  static constexpr unsigned RETRY_AFTER_SECONDS = 5;

  explicit ContextManager(unsigned idleTimeoutMs = IDLE_TIMEOUT_MS);
  // Ends every stored transcoder; no request may be active.
  virtual ~ContextManager();
  ContextManager(const ContextManager&) = delete;
  ContextManager& operator=(const ContextManager&) = delete;

  // The client's context when it can go on; otherwise a record without one,
  // or a refused one when a new transcoder would pass a limit.
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

  static int processorCount();
  // Ending a transcoder can take seconds: it happens after the lock is let go.
  void deleteContexts(const std::vector<StreamContext*>& contexts);
  bool makeRoom(const std::string& host, std::vector<StreamContext*>& ended);
  int heldBy(const std::string& host) const;
  int idleCount() const;

  Mutex _mutex;
  std::map<std::string, ContextInfo> _contexts;
  std::map<int, std::string> _held;  // seq -> host of each record a request holds
  int _counter = 0;
  unsigned _idleTimeoutMs;
  int _maxTranscoders;
  ExpiryThread* _expiry = nullptr;
};
