#pragma once

#include "Thread.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Event;
class StreamContext;

// A segment as a client received it.
struct KeptSegment {
  int time = 0;                              // its start in seconds
  std::shared_ptr<const std::string> bytes;  // null: none
};

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
  KeptSegment kept;                  // the segment asked for, sent again from memory: no context
  KeptSegment finished;              // from the request: the segment it completed
  std::vector<KeptSegment> recent;   // in the manager: the last segments the client received
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
  // A player asks for a segment again when it gave up on a request, or when
  // it found a hole after a seek: the last ones a client received are kept.
  static constexpr size_t KEPT_SEGMENTS = 2;
  // How long a request for the segment another request of the same client
  // is producing waits for it: longer than a silent transcoder is given.
  static const unsigned TAKEOVER_WAIT_MS = 20000;

  explicit ContextManager(unsigned idleTimeoutMs = IDLE_TIMEOUT_MS);
  // Ends every stored transcoder; no request may be active.
  virtual ~ContextManager();
  ContextManager(const ContextManager&) = delete;
  ContextManager& operator=(const ContextManager&) = delete;

  // The segment from memory when the client received it lately; the
  // client's context when it can go on; otherwise a record without one, or
  // a refused one when a new transcoder would pass a limit. A request for
  // the segment in production waits for the request producing it to end.
  ContextInfo acquire(std::string host, std::wstring path, int time);
  // Gives a context back after a completed segment, which is kept.
  void release(ContextInfo info);
  // A duration probe is a transcoder too: it takes a place within the same
  // limits while it runs, given back with endProbe. 0 when a probe would
  // pass a limit.
  int startProbe(std::string host);
  void endProbe(int probe);
  // Deletes the context of a failed or finished request and forgets the
  // client's record when it is still that request's.
  void discard(ContextInfo info);
  // For a request whose client left: a request of the same client waiting
  // for its segment gets the context, with the segment so far; otherwise
  // the context is deleted as by discard.
  void abandon(ContextInfo info);
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
  bool makeRoom(const std::string& host, bool replacesOwn, std::vector<StreamContext*>& ended);
  void waitForSegmentInProduction(const std::string& host, const std::wstring& path, int time);
  KeptSegment keptSegment(const std::string& host, const std::wstring& path, int time) const;
  void store(ContextInfo& stored, const ContextInfo& info);
  void wake(const std::string& host);
  int heldBy(const std::string& host) const;
  int idleCount() const;

  Mutex _mutex;
  std::map<std::string, ContextInfo> _contexts;
  std::map<int, std::string> _held;  // seq -> host of each record a request holds, and of each probe
  std::multimap<std::string, Event*> _waiting;  // host -> each request waiting for its segment in production
  int _counter = 0;
  unsigned _idleTimeoutMs;
  int _maxTranscoders;
  ExpiryThread* _expiry = nullptr;
};
