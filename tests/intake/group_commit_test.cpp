// The group committer: concurrent callers share groups and each gets its own
// result; a full queue refuses at once; stopping drains what is queued.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "fresh_store_url.h"
#include "store/group_commit.h"
#include "store_test_uploads.h"

namespace intake::test {
namespace {

// A store that holds each group until the test lets it through.
class GateStore : public Store {
 public:
  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds, const RateLimit&) override {
    std::unique_lock lock(m_mutex);
    ++m_entered;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_open; });
    m_committed += uploads.size();
    return std::vector<CommitResult>(uploads.size(), CommitResult{CommitOutcome::kAccepted, 0});
  }
  void WaitEntered(int groups) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_entered >= groups; });
  }
  void Open() {
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_changed.notify_all();
  }
  std::size_t Committed() {
    std::lock_guard lock(m_mutex);
    return m_committed;
  }

  ReadResult<ItemPage> ListItems(const ItemQuery&) override { return {}; }
  ReadResult<std::optional<ItemDetail>> GetItem(std::int64_t) override { return {}; }
  ReadResult<std::vector<LossDay>> ListLosses(const std::optional<std::string>&) override {
    return {};
  }
  ReadResult<std::optional<UploadReceipt>> GetUpload(const std::string&) override { return {}; }
  bool Healthy() override { return true; }
  bool Prune(UnixSeconds, std::uint32_t) override { return true; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_entered = 0;
  bool m_open = false;
  std::size_t m_committed = 0;
};

TEST(GroupCommit, ConcurrentSendersShareGroupsAndEachIsCounted) {
  std::string error;
  auto fresh = MakeFreshStoreUrl("sqlite:", &error);
  ASSERT_TRUE(fresh) << error;
  {
    auto store = OpenStore(fresh->url, &error);
    ASSERT_TRUE(store) << error;
    GroupCommitOptions options;
    options.limit = {1000};
    options.clock = [] { return kDay0; };
    GroupCommitter committer(*store, options);
    constexpr int kSenders = 8, kEach = 25;
    std::atomic<int> accepted{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
      senders.emplace_back([&, s] {
        for (int i = 0; i < kEach; ++i) {
          const std::string sender = std::to_string(s);
          const auto upload =
              TestUpload(sender + "-" + std::to_string(i), sender, {TestItem("x", 1)});
          if (committer.Commit(upload).outcome == CommitOutcome::kAccepted) ++accepted;
        }
      });
    }
    for (auto& sender : senders) sender.join();
    EXPECT_EQ(accepted, kSenders * kEach);
    const auto stats = committer.Stats();
    EXPECT_EQ(stats.uploads, std::uint64_t{kSenders * kEach});
    EXPECT_LE(stats.groups, stats.uploads);
    auto items = store->ListItems({});
    ASSERT_EQ(items.value.items.size(), 1u);
    EXPECT_EQ(items.value.items[0].count, std::uint64_t{kSenders * kEach});
    EXPECT_EQ(items.value.items[0].clients, std::uint64_t{kSenders});
  }
  fresh->remove();
}

TEST(GroupCommit, AFullQueueRefusesAndStoppingDrains) {
  GateStore store;
  GroupCommitOptions options;
  options.max_queued_uploads = 2;
  GroupCommitter committer(store, options);
  const auto upload = TestUpload("k", "c", {TestItem("x", 1)});
  std::atomic<int> accepted{0};
  std::vector<CommitResult> refused;
  auto count = [&](const CommitResult& r) {
    if (r.outcome == CommitOutcome::kAccepted) ++accepted;
  };
  committer.Submit(upload, count);
  store.WaitEntered(1);  // the first group is in the store; two more may wait
  committer.Submit(upload, count);
  committer.Submit(upload, count);
  committer.Submit(upload, [&](const CommitResult& r) { refused.push_back(r); });
  ASSERT_EQ(refused.size(), 1u) << "the fourth is refused at once, on the caller's thread";
  EXPECT_EQ(refused[0].outcome, CommitOutcome::kUnavailable);
  EXPECT_EQ(refused[0].retry_after_seconds, kQueueFullRetryAfterSeconds);

  std::thread stopper([&] { committer.Stop(); });
  store.Open();
  stopper.join();
  EXPECT_EQ(accepted, 3) << "every queued upload was committed before Stop returned";
  EXPECT_EQ(store.Committed(), 3u);
  EXPECT_EQ(committer.Commit(upload).outcome, CommitOutcome::kUnavailable) << "after Stop";
}

}  // namespace
}  // namespace intake::test
