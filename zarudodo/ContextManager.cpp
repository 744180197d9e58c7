#include "ContextManager.h"

#include "Log.h"
#include "StreamContext.h"
#include "StringUtil.h"

namespace {

const int LOG_KEY = LogRegisterKey("L_ContextManager", true);
// How often idle contexts are looked for: a context lives at most this much
// past its time-out.
const unsigned EXPIRY_INTERVAL_MS = 5000;

}

class ContextManager::ExpiryThread : public Thread {
public:
  explicit ExpiryThread(ContextManager* manager) : _manager(manager) {}

  ~ExpiryThread() override
  {
    MUTEX_LOCK(_mutex);
    _stopping = true;
    _wake.set();
    MUTEX_UNLOCK(_mutex);
    join();
  }

  void run() override
  {
    MUTEX_LOCK(_mutex);
    while (!_stopping) {
      _wake.waitFor(_mutex, EXPIRY_INTERVAL_MS);
      if (_stopping)
        break;
      MUTEX_UNLOCK(_mutex);
      _manager->expireIdle();
      MUTEX_LOCK(_mutex);
    }
    MUTEX_UNLOCK(_mutex);
  }

private:
  ContextManager* _manager;
  Mutex _mutex;
  Event _wake;
  bool _stopping = false;
};

ContextManager::ContextManager(unsigned idleTimeoutMs)
    : _idleTimeoutMs(idleTimeoutMs), _maxTranscoders(TRANSCODERS_PER_PROCESSOR * processorCount())
{
}

int ContextManager::processorCount()
{
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

ContextManager::~ContextManager()
{
  delete _expiry;
  for (auto& entry : _contexts)
    delete entry.second.context;
}

bool ContextManager::startExpiry()
{
  if (!_expiry)
    _expiry = new ExpiryThread(this);
  return _expiry->isStarted() || _expiry->start();
}

void ContextManager::deleteContext(StreamContext* context)
{
  delete context;
}

uint64_t ContextManager::now() const
{
  return GetTickCount64();
}

void ContextManager::deleteContexts(const std::vector<StreamContext*>& contexts)
{
  for (StreamContext* context : contexts)
    deleteContext(context);
}

ContextInfo ContextManager::acquire(std::string host, std::wstring path, int time)
{
  std::vector<StreamContext*> ended;
  ContextInfo acquired;
  acquired.host = host;
  acquired.path = path;
  acquired.time = time;
  {
    ScopedLock lock(&_mutex);
    waitForSegmentInProduction(host, path, time);
    ++_counter;
    auto found = _contexts.find(host);
    bool reuse = found != _contexts.end() && found->second.path == path && found->second.time == time &&
                 !found->second.inUse;
    KeptSegment kept = keptSegment(host, path, time);
    if (kept.bytes) {
      LogPrintf(LOG_KEY, "Send kept segment for %s,%s,%d", host.c_str(), Utf8FromWide(path).get(), time);
      acquired.kept = kept;
    } else if (!reuse && !makeRoom(host, true, ended)) {
      LogPrintf(LOG_KEY, "Refused a stream context for %s,%s,%d: every transcoder allowed is in use", host.c_str(),
                Utf8FromWide(path).get(), time);
      acquired.refused = true;
    } else {
      if (!reuse) {
        if (found != _contexts.end() && !found->second.inUse) {
          const ContextInfo& old = found->second;
          LogPrintf(LOG_KEY, "Clean old stream context for %s,%s,%d", old.host.c_str(), Utf8FromWide(old.path).get(),
                    old.time);
          ended.push_back(old.context);
        }
        LogPrintf(LOG_KEY, "Create new stream context for %s,%s,%d", host.c_str(), Utf8FromWide(path).get(), time);
        // The request's record, as yet without a context.
        found = _contexts.insert_or_assign(host, acquired).first;
        // A request waiting for the record it replaced has nothing more to wait for.
        wake(host);
      }
      found->second.seq = _counter;
      found->second.inUse = true;
      _held[_counter] = host;
      acquired = found->second;
    }
  }
  deleteContexts(ended);
  return acquired;
}

// A player that gave up on a request asks for its segment again at once;
// another transcoder for it would only make both wait. The request waits for
// the one producing the segment to end: the segment is then kept, or the
// context comes to this request when the other's client has left.
void ContextManager::waitForSegmentInProduction(const std::string& host, const std::wstring& path, int time)
{
  uint64_t deadline = now() + TAKEOVER_WAIT_MS;
  for (bool logged = false;; logged = true) {
    auto found = _contexts.find(host);
    uint64_t clock = now();
    if (found == _contexts.end() || !found->second.inUse || found->second.path != path ||
        found->second.time != time || clock >= deadline)
      return;
    if (!logged)
      LogPrintf(LOG_KEY, "Wait for the segment in production for %s,%s,%d", host.c_str(), Utf8FromWide(path).get(),
                time);
    Event woken;
    auto waiting = _waiting.emplace(host, &woken);
    woken.waitFor(_mutex, static_cast<unsigned>(deadline - clock));
    _waiting.erase(waiting);
  }
}

KeptSegment ContextManager::keptSegment(const std::string& host, const std::wstring& path, int time) const
{
  auto found = _contexts.find(host);
  if (found != _contexts.end() && found->second.path == path) {
    for (const KeptSegment& segment : found->second.recent) {
      if (segment.time == time)
        return segment;
    }
  }
  return KeptSegment();
}

void ContextManager::wake(const std::string& host)
{
  auto waiting = _waiting.equal_range(host);
  for (auto it = waiting.first; it != waiting.second; ++it)
    it->second->set();
}

// Whether a new transcoder for host keeps within the limits, once the least
// recently used idle contexts in the way are ended. The client's own idle
// context, when the new one replaces it, stands in no way.
bool ContextManager::makeRoom(const std::string& host, bool replacesOwn, std::vector<StreamContext*>& ended)
{
  if (heldBy(host) >= MAX_TRANSCODERS_PER_CLIENT)
    return false;
  auto own = replacesOwn ? _contexts.find(host) : _contexts.end();
  bool ownIdle = own != _contexts.end() && !own->second.inUse && own->second.context;
  while (static_cast<int>(_held.size()) + idleCount() - ownIdle >= _maxTranscoders) {
    auto oldest = _contexts.end();
    for (auto it = _contexts.begin(); it != _contexts.end(); ++it) {
      const ContextInfo& info = it->second;
      if (it != own && !info.inUse && info.context &&
          (oldest == _contexts.end() || info.releasedAt < oldest->second.releasedAt))
        oldest = it;
    }
    if (oldest == _contexts.end())
      return false;
    const ContextInfo& info = oldest->second;
    LogPrintf(LOG_KEY, "End least recently used stream context for %s,%s,%d", info.host.c_str(),
              Utf8FromWide(info.path).get(), info.time);
    ended.push_back(info.context);
    _contexts.erase(oldest);
  }
  return true;
}

int ContextManager::heldBy(const std::string& host) const
{
  int count = 0;
  for (const auto& held : _held)
    count += held.second == host;
  return count;
}

int ContextManager::idleCount() const
{
  int count = 0;
  for (const auto& entry : _contexts)
    count += !entry.second.inUse && entry.second.context;
  return count;
}

int ContextManager::startProbe(std::string host)
{
  std::vector<StreamContext*> ended;
  int probe = 0;
  {
    ScopedLock lock(&_mutex);
    if (makeRoom(host, false, ended)) {
      probe = ++_counter;
      _held[probe] = host;
    } else {
      LogPrintf(LOG_KEY, "Refused a duration probe for %s: every transcoder allowed is in use", host.c_str());
    }
  }
  deleteContexts(ended);
  return probe;
}

void ContextManager::endProbe(int probe)
{
  ScopedLock lock(&_mutex);
  _held.erase(probe);
}

void ContextManager::release(ContextInfo info)
{
  {
    ScopedLock lock(&_mutex);
    _held.erase(info.seq);
    auto found = _contexts.find(info.host);
    if (found != _contexts.end() && found->second.path == info.path && found->second.seq == info.seq) {
      store(found->second, info);
      LogPrintf(LOG_KEY, "Release stream context for %s,%s,%d", info.host.c_str(), Utf8FromWide(info.path).get(),
                info.time);
      return;
    }
    if (found == _contexts.end())
      LogPrintf(LOG_KEY, "Tried to release non-existing context");
    else
      LogPrintf(LOG_KEY, "Tried to release context, but request time mismatch");
  }
  deleteContext(info.context);
}

void ContextManager::discard(ContextInfo info)
{
  {
    ScopedLock lock(&_mutex);
    _held.erase(info.seq);
    // A record that a later request made holds that request's context (or an
    // idle one it released): removing it would leave that transcoder running
    // with nobody to end it.
    auto found = _contexts.find(info.host);
    if (found != _contexts.end() && found->second.seq == info.seq) {
      _contexts.erase(found);
      wake(info.host);
    }
  }
  deleteContext(info.context);
}

void ContextManager::abandon(ContextInfo info)
{
  {
    ScopedLock lock(&_mutex);
    auto found = _contexts.find(info.host);
    if (found != _contexts.end() && found->second.seq == info.seq && _waiting.count(info.host) && info.context &&
        info.context->canResume()) {
      _held.erase(info.seq);
      store(found->second, info);
      LogPrintf(LOG_KEY, "Hand stream context over for %s,%s,%d", info.host.c_str(), Utf8FromWide(info.path).get(),
                info.time);
      return;
    }
  }
  discard(info);
}

// The record goes idle with the request's context and position, keeping the
// segment the request completed; a request waiting for it goes on.
void ContextManager::store(ContextInfo& stored, const ContextInfo& info)
{
  stored.time = info.time;
  stored.context = info.context;
  stored.inUse = false;
  stored.releasedAt = now();
  if (info.finished.bytes) {
    stored.recent.push_back(info.finished);
    if (stored.recent.size() > KEPT_SEGMENTS)
      stored.recent.erase(stored.recent.begin());
  }
  wake(stored.host);
}

void ContextManager::expireIdle()
{
  std::vector<StreamContext*> ended;
  {
    ScopedLock lock(&_mutex);
    uint64_t time = now();
    for (auto it = _contexts.begin(); it != _contexts.end();) {
      const ContextInfo& info = it->second;
      if (info.inUse || time - info.releasedAt < _idleTimeoutMs) {
        ++it;
        continue;
      }
      LogPrintf(LOG_KEY, "Expire idle stream context for %s,%s,%d", info.host.c_str(), Utf8FromWide(info.path).get(),
                info.time);
      ended.push_back(info.context);
      it = _contexts.erase(it);
    }
  }
  deleteContexts(ended);
}
