#include "ContextManager.h"
#include "StreamContext.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

namespace {

// Records which contexts the manager ends, and checks that another client
// could be served meanwhile; its clock is set by the test.
class WatchedManager : public ContextManager {
public:
  ~WatchedManager() override { EXPECT_FALSE(_othersWaited); }

  bool deleted(StreamContext* context) const
  {
    return std::find(_deleted.begin(), _deleted.end(), context) != _deleted.end();
  }

  // Each reading moves the clock on by tick.
  mutable std::atomic<uint64_t> clock{0};
  uint64_t tick = 0;

protected:
  void deleteContext(StreamContext* context) override
  {
    if (context) {
      _deleted.push_back(context);
      // Ending a real transcoder takes up to seconds: another client's
      // request must get through meanwhile.
      std::atomic<bool> served{false};
      std::thread other([this, &served] {
        release(acquire("10.9.9.9", L"other", 0));
        served = true;
      });
      for (int waited = 0; !served && waited < 2000; waited += 10)
        Sleep(10);
      _othersWaited = _othersWaited || !served;
      other.join();
    }
    ContextManager::deleteContext(context);
  }
  uint64_t now() const override { return clock.fetch_add(tick); }

private:
  std::vector<StreamContext*> _deleted;
  bool _othersWaited = false;
};

// A request that got no context creates one, as the video handler does.
ContextInfo acquireWithContext(ContextManager& manager, const std::string& host, const wchar_t* path = L"v",
                               int time = 0)
{
  ContextInfo info = manager.acquire(host, path, time);
  if (!info.context)
    info.context = new StreamContext();
  return info;
}

// A request that streamed its first ten seconds and ended.
ContextInfo played(ContextManager& manager, const std::string& host, const wchar_t* path = L"v")
{
  ContextInfo info = acquireWithContext(manager, host, path);
  info.time += 10;
  manager.release(info);
  return info;
}

}

TEST(ContextManagerTest, ReusesOnlyTheSameClientsContextForTheSameVideoAtItsNextStart)
{
  struct Case {
    const char* host;
    const wchar_t* path;
    int time;
    bool reused;
  } cases[] = {
      {"10.0.0.1", L"C:\\v\\a b.mp4", 10, true},
      {"10.0.0.1", L"C:\\v\\a b.mp4", 20, false},
      {"10.0.0.1", L"C:\\v\\other.avi", 10, false},
      {"10.0.0.2", L"C:\\v\\a b.mp4", 10, false},
  };
  for (const Case& c : cases) {
    WatchedManager manager;
    ContextInfo first = played(manager, "10.0.0.1", L"C:\\v\\a b.mp4");
    ContextInfo next = manager.acquire(c.host, c.path, c.time);
    SCOPED_TRACE(std::string(c.host) + " " + std::to_string(c.time));
    EXPECT_EQ(next.context == first.context, c.reused);
    EXPECT_EQ(manager.deleted(first.context), !c.reused && std::string(c.host) == "10.0.0.1");
    manager.release(next);
  }
}

// An older request that fails or ends after a later request of the same
// client took the record over (for another video, or after a seek in the
// same one) must not take that record with it: the later idle context would
// keep a transcoder running that nothing ends. The older context ends. A
// discard takes its own record, though.
TEST(ContextManagerTest, OlderRequestEndsOnlyItsOwnContextOnceALaterOneTookTheRecord)
{
  for (const wchar_t* laterPath : {L"w", L"v"}) {
    for (bool discarded : {true, false}) {
      SCOPED_TRACE(std::string(discarded ? "discard" : "release") + (laterPath[0] == L'v' ? " after a seek" : ""));
      WatchedManager manager;
      ContextInfo older = acquireWithContext(manager, "10.0.0.1");
      ContextInfo later = acquireWithContext(manager, "10.0.0.1", laterPath, 30);
      later.time += 10;
      manager.release(later);
      discarded ? manager.discard(older) : manager.release(older);
      EXPECT_TRUE(manager.deleted(older.context));
      EXPECT_FALSE(manager.deleted(later.context));

      ContextInfo reused = manager.acquire("10.0.0.1", laterPath, later.time);
      EXPECT_EQ(reused.context, later.context);
      manager.discard(reused);
      EXPECT_TRUE(manager.deleted(later.context));
      EXPECT_EQ(manager.acquire("10.0.0.1", laterPath, later.time).context, nullptr);
    }
  }
}

// While a request streams from a reused context, nothing else may end it
// or get it: not a second request of the same client, nor the idle expiry.
// One for the same start gets a context of its own once its wait for the
// segment ran out.
TEST(ContextManagerTest, ContextBeingStreamedIsNeverEnded)
{
  struct Case {
    const char* what;
    const wchar_t* path;
    int time;
  } cases[] = {{"second request for another start", L"v", 30},
               {"second request for the same start", L"v", 10},
               {"idle expiry", nullptr, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WatchedManager manager;
    StreamContext* reused = played(manager, "10.0.0.1").context;
    ContextInfo streaming = manager.acquire("10.0.0.1", L"v", 10);
    ASSERT_EQ(streaming.context, reused);
    manager.clock = ContextManager::IDLE_TIMEOUT_MS * 2;
    manager.tick = ContextManager::TAKEOVER_WAIT_MS;
    if (c.path) {
      ContextInfo second = manager.acquire("10.0.0.1", c.path, c.time);
      EXPECT_EQ(second.context, nullptr);
      manager.release(second);
    } else {
      manager.expireIdle();
    }
    ASSERT_FALSE(manager.deleted(streaming.context));  // and not deleted twice below
    manager.discard(streaming);
  }
}

TEST(ContextManagerTest, IdleContextEndsAfterTheTimeOut)
{
  WatchedManager manager;
  manager.clock = 1000;
  ContextInfo idle = played(manager, "10.0.0.1");

  manager.clock = 1000 + ContextManager::IDLE_TIMEOUT_MS - 1;
  manager.expireIdle();
  EXPECT_FALSE(manager.deleted(idle.context));
  manager.clock += 1;
  manager.expireIdle();
  EXPECT_TRUE(manager.deleted(idle.context));
  EXPECT_EQ(manager.acquire("10.0.0.1", L"v", 10).context, nullptr) << "its record went with it";
}
