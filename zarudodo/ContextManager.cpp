#include "ContextManager.h"

#include "Log.h"
#include "StreamContext.h"
#include "StringUtil.h"

namespace {

const int LOG_KEY = LogRegisterKey("L_ContextManager", true);

}

ContextManager::ContextManager() {}

ContextManager::~ContextManager()
{
  for (auto& entry : _contexts)
    delete entry.second.context;
}

void ContextManager::deleteContext(StreamContext* context)
{
  delete context;
}

ContextInfo ContextManager::acquire(std::string host, std::wstring path, int time)
{
  ScopedLock lock(&_mutex);
  ++_counter;
  auto found = _contexts.find(host);
  bool reuse = found != _contexts.end() && found->second.path == path && found->second.time == time &&
               !found->second.inUse;
  if (!reuse) {
    if (found != _contexts.end() && !found->second.inUse) {
      const ContextInfo& old = found->second;
      LogPrintf(LOG_KEY, "Clean old stream context for %s,%s,%d", old.host.c_str(), Utf8FromWide(old.path).get(), old.time);
      deleteContext(old.context);
    }
    LogPrintf(LOG_KEY, "Create new stream context for %s,%s,%d", host.c_str(), Utf8FromWide(path).get(), time);
    ContextInfo fresh;
    fresh.host = host;
    fresh.path = path;
    fresh.time = time;
    found = _contexts.insert_or_assign(host, fresh).first;
  }
  found->second.seq = _counter;
  found->second.inUse = true;
  return found->second;
}

void ContextManager::release(ContextInfo info)
{
  ScopedLock lock(&_mutex);
  auto found = _contexts.find(info.host);
  if (found == _contexts.end()) {
    LogPrintf(LOG_KEY, "Tried to release non-existing context");
    deleteContext(info.context);
    return;
  }
  ContextInfo& stored = found->second;
  if (stored.path != info.path || stored.seq != info.seq) {
    LogPrintf(LOG_KEY, "Tried to release context, but request time mismatch");
    deleteContext(info.context);
    return;
  }
  stored.time = info.time;
  stored.context = info.context;
  stored.inUse = false;
  LogPrintf(LOG_KEY, "Release stream context for %s,%s,%d", info.host.c_str(), Utf8FromWide(info.path).get(), info.time);
}

void ContextManager::discard(ContextInfo info)
{
  ScopedLock lock(&_mutex);
  deleteContext(info.context);
  // A record that a later request made holds that request's context (or an
  // idle one it released): removing it would leave that transcoder running
  // with nobody to end it.
  auto found = _contexts.find(info.host);
  if (found != _contexts.end() && found->second.seq == info.seq)
    _contexts.erase(found);
}
