// The PostgreSQL store where it differs from SQLite: a server that goes
// away and comes back, several nodes on one database, the schema's lock,
// and day partitions. The store's common behaviour is store_test.cpp's.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "pg_test_support.h"
#include "store/postgres/pg_schema.h"
#include "store/postgres/postgres_store.h"
#include "store/sqlite/sqlite_schema.h"
#include "store/utc_day.h"

using namespace intake;
using namespace intake::test;
using namespace std::chrono_literals;

namespace {

constexpr UnixSeconds kNow = 1710072000;  // 2024-03-10 12:00 UTC
const RateLimit kNoLimit{1'000'000};

#define SKIP_WITHOUT_SERVER()                                \
  const std::optional<std::string> server = TestServerUrl(); \
  if (!server) GTEST_SKIP() << "INTAKE_TEST_PG_URL is not set (scripts/pg-cluster.sh)"

std::unique_ptr<Store> Open(const std::string& url) {
  std::string error;
  std::unique_ptr<Store> store = OpenPostgresStore(url, &error);
  EXPECT_TRUE(store) << error;
  return store;
}

CommitOutcome Commit(Store& store, const FoldedUpload& upload, UnixSeconds now = kNow,
                     RateLimit limit = kNoLimit) {
  return store.CommitGroup({&upload}, now, limit).at(0).outcome;
}

std::string Key(int n) {
  return std::string(63 - std::to_string(n).size(), 'a') + "-" + std::to_string(n);
}

std::int64_t ItemCount(const std::string& url, int item) {
  return QueryNumber(url,
                     "SELECT count FROM items WHERE error_code = " + std::to_string(1000 + item));
}

TEST(PostgresStoreDown, FailsFastWhileStoppedAndCountsTheRetryOnceWhenBack) {
  SKIP_WITHOUT_SERVER();
  ScratchCluster cluster;
  ASSERT_TRUE(cluster.started());
  auto store = Open(cluster.url());
  ASSERT_TRUE(store);
  const FoldedUpload first = MakeUpload(Key(1), "client-a", {1, 2});
  const FoldedUpload retried = MakeUpload(Key(2), "client-a", {2, 3});
  ASSERT_EQ(Commit(*store, first), CommitOutcome::kAccepted);

  ASSERT_TRUE(cluster.Pause());
  const auto start = std::chrono::steady_clock::now();
  const CommitResult down = store->CommitGroup({&retried}, kNow, kNoLimit).at(0);
  EXPECT_EQ(down.outcome, CommitOutcome::kUnavailable);
  EXPECT_GT(down.retry_after_seconds, 0u);
  EXPECT_FALSE(store->Healthy());
  EXPECT_FALSE(store->ListItems({}).available);
  EXPECT_FALSE(store->GetUpload(first.key).available);
  EXPECT_FALSE(store->Prune(kNow, 90));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "a down store must answer fast";

  ASSERT_TRUE(cluster.Resume());
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!store->Healthy() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(store->Healthy()) << "the store reconnects by itself";
  EXPECT_EQ(Commit(*store, retried), CommitOutcome::kAccepted);
  EXPECT_EQ(Commit(*store, retried), CommitOutcome::kDuplicate);
  EXPECT_EQ(ItemCount(cluster.url(), 1), 1);
  EXPECT_EQ(ItemCount(cluster.url(), 2), 2);
  EXPECT_EQ(ItemCount(cluster.url(), 3), 1);
  EXPECT_EQ(QueryNumber(cluster.url(), "SELECT count(*) FROM uploads"), 2);
}

// Several threads on each of two nodes commit the same uploads in groups,
// each starting at its own place in the list.
TEST(PostgresTwoNodes, CountEachUploadOnceWhenBothCommitIt) {
  SKIP_WITHOUT_SERVER();
  ScratchDatabase database(*server);
  auto node_a = Open(database.url());
  auto node_b = Open(database.url());
  ASSERT_TRUE(node_a && node_b);
  constexpr int kUploads = 96, kClients = 12, kThreadsPerNode = 3, kGroup = 8;
  std::vector<FoldedUpload> uploads;
  std::map<int, std::int64_t> expected;  // item -> count
  for (int i = 0; i < kUploads; ++i) {
    const std::vector<int> items = {i % 7, 10 + i % 5, 40};
    uploads.push_back(MakeUpload(Key(i), "client-" + std::to_string(i % kClients), items, 3));
    for (int item : items) expected[item] += 3;
  }
  std::atomic<int> accepted = 0, duplicate = 0, other = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2 * kThreadsPerNode; ++t) {
    Store& node = t % 2 == 0 ? *node_a : *node_b;
    threads.emplace_back([&, t] {
      for (int done = 0; done < kUploads; done += kGroup) {
        std::vector<const FoldedUpload*> group;
        for (int i = done; i < done + kGroup; ++i) {
          group.push_back(&uploads[(i + t * 17) % kUploads]);
        }
        for (const CommitResult& result : node.CommitGroup(group, kNow, kNoLimit)) {
          auto& tally = result.outcome == CommitOutcome::kAccepted    ? accepted
                        : result.outcome == CommitOutcome::kDuplicate ? duplicate
                                                                      : other;
          ++tally;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(accepted, kUploads);
  EXPECT_EQ(duplicate, (2 * kThreadsPerNode - 1) * kUploads);
  EXPECT_EQ(other, 0);
  for (const auto& [item, count] : expected) EXPECT_EQ(ItemCount(database.url(), item), count);
  EXPECT_EQ(QueryNumber(database.url(), "SELECT clients FROM items WHERE error_code = 1040"),
            kClients);
  EXPECT_EQ(QueryNumber(database.url(), "SELECT count(*) FROM uploads"), kUploads);
}

TEST(PostgresTwoNodes, ShareOneClientsHourlyLimit) {
  SKIP_WITHOUT_SERVER();
  ScratchDatabase database(*server);
  auto node_a = Open(database.url());
  auto node_b = Open(database.url());
  ASSERT_TRUE(node_a && node_b);
  constexpr int kThreads = 6, kEach = 8;
  const RateLimit limit{5};
  std::atomic<int> accepted = 0, limited = 0, bad_wait = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    Store& node = t % 2 == 0 ? *node_a : *node_b;
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const FoldedUpload upload = MakeUpload(Key(t * 100 + i), "one-client", {1});
        const CommitResult result = node.CommitGroup({&upload}, kNow, limit).at(0);
        if (result.outcome == CommitOutcome::kAccepted) ++accepted;
        if (result.outcome == CommitOutcome::kRateLimited) {
          ++limited;
          if (result.retry_after_seconds < 1 || result.retry_after_seconds > 3600) ++bad_wait;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(accepted, 5);
  EXPECT_EQ(limited, kThreads * kEach - 5);
  EXPECT_EQ(bad_wait, 0);
  EXPECT_EQ(ItemCount(database.url(), 1), 5);
}

TEST(PostgresSchema, NodesOpeningANewDatabaseTogetherMakeItOnce) {
  SKIP_WITHOUT_SERVER();
  EXPECT_EQ(pg::CurrentSchemaVersion(), kSqliteSchemaVersion) << "one schema, two engines";
  ScratchDatabase database(*server);
  constexpr int kNodes = 4;
  std::vector<std::unique_ptr<Store>> nodes(kNodes);
  std::vector<std::string> errors(kNodes);
  std::vector<std::thread> threads;
  for (int i = 0; i < kNodes; ++i) {
    threads.emplace_back([&, i] { nodes[i] = OpenPostgresStore(database.url(), &errors[i]); });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kNodes; ++i) EXPECT_TRUE(nodes[i]) << errors[i];
  EXPECT_EQ(QueryNumber(database.url(), "SELECT version FROM schema_version"),
            pg::CurrentSchemaVersion());
  EXPECT_EQ(QueryNumber(database.url(), "SELECT count(*) FROM schema_version"), 1);
}

// Databases a build must not write into, and the reason it gives.
TEST(PostgresSchema, RefusesDatabasesItDidNotMake) {
  SKIP_WITHOUT_SERVER();
  const struct {
    const char* setup;
    const char* reason;
  } cases[] = {
      {"CREATE TABLE schema_version (version integer NOT NULL);"
       "INSERT INTO schema_version VALUES (99)",
       "newer than this build"},
      {"CREATE TABLE uploads (key text)", "no schema version"},
  };
  for (const auto& c : cases) {
    ScratchDatabase database(*server);
    ASSERT_EQ(QueryNumber(database.url(), c.setup), 0) << c.setup;
    std::string error;
    EXPECT_FALSE(OpenPostgresStore(database.url(), &error)) << c.setup;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(PostgresPartitions, PruneDropsWholeDaysAndKeepsTheKeys) {
  SKIP_WITHOUT_SERVER();
  ScratchDatabase database(*server);
  auto store = Open(database.url());
  auto other_node = Open(database.url());
  ASSERT_TRUE(store && other_node);
  constexpr UnixSeconds kDay = kSecondsPerDay;
  FoldedUpload old = MakeUpload(Key(1), "client-a", {1});
  old.losses.push_back({LossCause::kDropped, "5.2.0.1", 7});
  const FoldedUpload recent = MakeUpload(Key(2), "client-a", {1});
  const FoldedUpload today = MakeUpload(Key(3), "client-a", {1});
  ASSERT_EQ(Commit(*other_node, old, kNow - 100 * kDay), CommitOutcome::kAccepted);
  ASSERT_EQ(Commit(*store, recent, kNow - 90 * kDay), CommitOutcome::kAccepted);
  ASSERT_EQ(Commit(*store, today, kNow), CommitOutcome::kAccepted);
  const std::string old_partition = "item_days_p" + [] {
    std::string text = UtcDayText(UtcDayNumber(kNow - 100 * kSecondsPerDay));
    std::erase(text, '-');
    return text;
  }();
  const std::string partitions_named =
      "SELECT count(*) FROM pg_class WHERE relname = '" + old_partition + "'";
  ASSERT_EQ(QueryNumber(database.url(), partitions_named), 1);

  ASSERT_TRUE(store->Prune(kNow, 90));
  EXPECT_EQ(QueryNumber(database.url(), partitions_named), 0);
  const auto item = store->GetItem(QueryNumber(database.url(), "SELECT id FROM items"));
  ASSERT_TRUE(item.available && item.value);
  ASSERT_EQ(item.value->days.size(), 2u) << "the day keep_days ago stays";
  EXPECT_EQ(item.value->days[0].day, UtcDayText(UtcDayNumber(kNow - 90 * kDay)));
  EXPECT_EQ(item.value->summary.count, 3u) << "totals are not day rows";
  EXPECT_TRUE(store->ListLosses(std::nullopt).value.empty());
  EXPECT_EQ(Commit(*store, old, kNow), CommitOutcome::kDuplicate) << "keys outlive day rows";
  // The other node still takes the old day's partition for made; its
  // commit finds it gone and makes it again.
  const FoldedUpload late = MakeUpload(Key(4), "client-a", {1});
  EXPECT_EQ(Commit(*other_node, late, kNow - 100 * kDay), CommitOutcome::kAccepted);
  EXPECT_EQ(QueryNumber(database.url(), partitions_named), 1);
}

// Values a B-tree key or a text column could not hold as they are.
TEST(PostgresItems, KeepsLongMessagesAndNulsAsOneItemEach) {
  SKIP_WITHOUT_SERVER();
  ScratchDatabase database(*server);
  auto store = Open(database.url());
  ASSERT_TRUE(store);
  FoldedUpload upload = MakeUpload(Key(1), "client-a", {1, 2});
  upload.items[0].key.message = std::string(20000, 'x') + "\\\"{}";
  upload.items[1].key.value = std::string("a\0b", 3);
  ASSERT_EQ(Commit(*store, upload), CommitOutcome::kAccepted);
  FoldedUpload again = upload;
  again.key = Key(2);
  ASSERT_EQ(Commit(*store, again), CommitOutcome::kAccepted);
  const auto page = store->ListItems({});
  ASSERT_TRUE(page.available);
  ASSERT_EQ(page.value.items.size(), 2u);
  for (const ItemSummary& item : page.value.items) {
    EXPECT_EQ(item.count, 2u);
    if (item.key.error_code == 1001) {
      EXPECT_EQ(item.key.message, upload.items[0].key.message);
    } else {
      EXPECT_EQ(item.key.value, std::string("a\xEF\xBF\xBD") + "b");
    }
  }
}

}  // namespace
