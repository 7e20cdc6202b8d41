// The owners that capture's file and mutex code stands on: what reset, detach
// and moves close, and when a mutex hold gives its mutex back.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "Win/folder_mutex.h"
#include "Win/unique_resource.h"

using namespace suite;

namespace {

// Records every close, so a row can tell what an operation closed.
std::vector<int> g_closed;
struct RecordedClose {
  using Type = int;
  static int Invalid() noexcept { return 0; }
  static void Close(int value) noexcept { g_closed.push_back(value); }
};
using Owner = UniqueResource<RecordedClose>;

TEST(OwnersTest, ResetDetachAndMoveCloseOnlyWhatTheyGiveUp) {
  const struct {
    const char* name;
    std::function<void(Owner&)> act;  // on an owner of 1
    std::vector<int> closedByAct;
    int heldAfter;
  } cases[] = {
      {"reset with its own value", [](Owner& o) { o.reset(1); }, {}, 1},
      {"reset with another value", [](Owner& o) { o.reset(2); }, {1}, 2},
      {"detach", [](Owner& o) { EXPECT_EQ(o.detach(), 1); }, {}, 0},
      {"move another owner in", [](Owner& o) { o = Owner::Adopt(3); }, {1}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_closed.clear();
    {
      Owner owner = Owner::Adopt(1);
      c.act(owner);
      EXPECT_EQ(g_closed, c.closedByAct);
      EXPECT_EQ(owner.get(), c.heldAfter);
      g_closed.clear();
    }
    // The owner's end closes what it still holds, once.
    EXPECT_EQ(g_closed, c.heldAfter != 0 ? std::vector<int>{c.heldAfter} : std::vector<int>{});
  }
}

TEST(OwnersTest, HandleResetWithItsOwnValueStaysUsable) {
  UniqueKernelHandle event = UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  event.reset(event.get());
  EXPECT_TRUE(SetEvent(event.get()));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

// What another thread's wait of no time gets; only the owning thread can
// release, so the check needs a thread of its own.
DWORD TryFromAnotherThread(HANDLE mutex) {
  DWORD result = WAIT_FAILED;
  std::thread([&] {
    result = WaitForSingleObject(mutex, 0);
    if (result != WAIT_TIMEOUT) ReleaseMutex(mutex);
  }).join();
  return result;
}

TEST(OwnersTest, MutexHoldReleasesAtScopeExitOnce) {
  UniqueKernelHandle mutex = UniqueKernelHandle::Adopt(CreateMutexW(nullptr, FALSE, nullptr));
  ASSERT_TRUE(mutex);
  {
    MutexHold outer;
    ASSERT_EQ(WaitForMutex(mutex.get(), 0, outer), MutexWait::Owned);
    {
      MutexHold inner;
      ASSERT_EQ(WaitForMutex(mutex.get(), 0, inner), MutexWait::Owned);
      MutexHold moved = std::move(inner);
    }
    // The moved hold gave back one share; the outer one still holds.
    EXPECT_EQ(TryFromAnotherThread(mutex.get()), static_cast<DWORD>(WAIT_TIMEOUT));
  }
  EXPECT_EQ(TryFromAnotherThread(mutex.get()), WAIT_OBJECT_0);
}

}  // namespace
