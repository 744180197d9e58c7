#pragma once

#include "Thread.h"

#include <map>
#include <string>

class StreamContext;

// One client's record, copied by value between the manager and a request.
struct ContextInfo {
  std::string host;                  // the client's address, the key
  std::wstring path;                 // the video the context transcodes
  int time = 0;                      // start in seconds the next request must carry
  StreamContext* context = nullptr;  // null: the request creates one
  bool inUse = false;                // a request holds this client's context
  int seq = 0;                       // which acquire made the record
};

// Keeps each client's stream context between its segment requests, so that
// playing a video in order needs one transcoder from start to end.
class ContextManager {
public:
  ContextManager();
  // Ends every stored transcoder; no request may be active.
  virtual ~ContextManager();
  ContextManager(const ContextManager&) = delete;
  ContextManager& operator=(const ContextManager&) = delete;

  ContextInfo acquire(std::string host, std::wstring path, int time);
  // Gives a context back after a completed segment.
  void release(ContextInfo info);
  // Deletes the context of a failed request and forgets the client's record
  // when it is still that request's.
  void discard(ContextInfo info);

protected:
  // Where every context the manager ends goes; a test can watch it.
  virtual void deleteContext(StreamContext* context);

private:
  Mutex _mutex;
  std::map<std::string, ContextInfo> _contexts;
  int _counter = 0;
};
