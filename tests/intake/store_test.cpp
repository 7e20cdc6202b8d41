// The store table: every case runs against every back-end, each on a fresh
// store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "fresh_store_url.h"
#include "store/item_cursor.h"
#include "store/store.h"
#include "store_test_uploads.h"

namespace intake::test {
namespace {

const std::string kClientA = "6f1c2a4e-8d3b-4c5f-9a7e-1b2c3d4e5f60";
const std::string kClientB = "0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d";

class StoreTable : public ::testing::TestWithParam<StoreBackend> {
 protected:
  void SetUp() override {
    std::string base = GetParam().base_url;
    if (!GetParam().base_url_variable.empty()) {
      const char* value = std::getenv(GetParam().base_url_variable.c_str());
      if (!value || !*value) GTEST_SKIP() << GetParam().base_url_variable << " is not set";
      base = value;
    }
    std::string error;
    auto fresh = MakeFreshStoreUrl(base, &error);
    ASSERT_TRUE(fresh) << error;
    m_fresh = *fresh;
    Reopen();
  }

  void TearDown() override {
    m_store.reset();
    if (m_fresh.remove) m_fresh.remove();
  }

  void Reopen() {
    m_store.reset();
    std::string error;
    m_store = OpenStore(m_fresh.url, &error);
    ASSERT_TRUE(m_store) << error;
  }

  std::vector<CommitResult> Commit(const std::vector<const FoldedUpload*>& uploads,
                                   std::int64_t now, std::uint32_t limit = 60) {
    return m_store->CommitGroup(uploads, now, RateLimit{limit});
  }

  CommitOutcome CommitOne(const FoldedUpload& upload, std::int64_t now) {
    return Commit({&upload}, now).at(0).outcome;
  }

  std::vector<ItemSummary> Items(ItemQuery query = {}) {
    auto page = m_store->ListItems(query);
    EXPECT_TRUE(page.available);
    return page.value.items;
  }

  ItemSummary ItemWith(const std::string& message) {
    for (const auto& item : Items()) {
      if (item.key.message == message) return item;
    }
    ADD_FAILURE() << "no item " << message;
    return {};
  }

  FreshStore m_fresh;
  std::unique_ptr<Store> m_store;
};

// One group per row, in order, with a limit of two uploads per hour.
struct CommitRow {
  const char* why;
  std::int64_t at;
  std::vector<std::pair<std::string, std::string>> uploads;  // key, client
  std::vector<CommitResult> expected;
};

TEST_P(StoreTable, OutcomesFollowKeysAndTheHourlyLimit) {
  const auto accepted = CommitResult{CommitOutcome::kAccepted, 0};
  const auto duplicate = CommitResult{CommitOutcome::kDuplicate, 0};
  auto limited = [](std::uint32_t wait) { return CommitResult{CommitOutcome::kRateLimited, wait}; };
  const std::vector<CommitRow> rows = {
      {"new key", 0, {{"k1", kClientA}}, {accepted}},
      {"same key again", 10, {{"k1", kClientA}}, {duplicate}},
      {"same key twice in a group",
       100,
       {{"k2", kClientA}, {"k2", kClientA}},
       {accepted, duplicate}},
      {"third in the hour waits for the first to leave it",
       200,
       {{"k3", kClientA}},
       {limited(3400)}},
      {"a duplicate is answered before the rate check", 200, {{"k1", kClientA}}, {duplicate}},
      {"another client has its own limit", 200, {{"k4", kClientB}}, {accepted}},
      {"the first left the window; the group's own upload counts",
       3600,
       {{"k3", kClientA}, {"k5", kClientA}},
       {accepted, limited(100)}},
      {"the last second of the window", 3699, {{"k5", kClientA}}, {limited(1)}},
  };
  for (const auto& row : rows) {
    std::vector<FoldedUpload> uploads;
    for (const auto& [key, client] : row.uploads) {
      uploads.push_back(TestUpload(key, client, {TestItem("disk full", 1)}));
    }
    std::vector<const FoldedUpload*> group;
    for (const auto& upload : uploads) group.push_back(&upload);
    const auto results = Commit(group, kDay0 + row.at, 2);
    ASSERT_EQ(results.size(), row.expected.size()) << row.why;
    for (std::size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i].outcome, row.expected[i].outcome) << row.why << " #" << i;
      EXPECT_EQ(results[i].retry_after_seconds, row.expected[i].retry_after_seconds) << row.why;
    }
  }
  // Accepted: k1, k2, k4, k3; nothing refused or repeated was counted.
  EXPECT_EQ(ItemWith("disk full").count, 4u);
  EXPECT_EQ(ItemWith("disk full").clients, 2u);
}

TEST_P(StoreTable, ItemsFoldAcrossUploadsAndClients) {
  const auto first = TestUpload("a1", kClientA, {TestItem("x", 3), TestItem("v", 1, "")});
  const auto second = TestUpload("b1", kClientB, {TestItem("x", 4), TestItem("v", 2)});
  const auto third = TestUpload("a2", kClientA, {TestItem("x", 1)});
  auto results = Commit({&first, &second}, kDay0 + 50);
  ASSERT_EQ(results[1].outcome, CommitOutcome::kAccepted);
  ASSERT_EQ(CommitOne(third, kDay0 + 90), CommitOutcome::kAccepted);

  const auto x = ItemWith("x");
  EXPECT_EQ(x.count, 8u);
  EXPECT_EQ(x.clients, 2u);
  EXPECT_EQ(x.first_seen, kDay0 + 50);
  EXPECT_EQ(x.last_seen, kDay0 + 90);
  EXPECT_EQ(x.key.dll_ver, "3.1.0.7");
  // An empty value and no value are two items.
  std::set<std::optional<std::string>> values;
  for (const auto& item : Items()) {
    if (item.key.message == "v") values.insert(item.key.value);
  }
  EXPECT_EQ(values, (std::set<std::optional<std::string>>{std::nullopt, ""}));
}

TEST_P(StoreTable, ItemDaysAndLossesCountPerUtcDay) {
  const LossRow dropped{LossCause::kDropped, "1.0.0.0", 7};
  const LossRow torn{LossCause::kTornRecord, "2.0.0.0", 1};
  const auto day0 = TestUpload("d0", kClientA, {TestItem("x", 3)}, {dropped, torn});
  const auto day0_later = TestUpload("d0b", kClientB, {TestItem("x", 1)}, {dropped});
  const auto day1 = TestUpload("d1", kClientA, {TestItem("x", 2)}, {dropped});
  ASSERT_EQ(CommitOne(day0, kDay0 + 1), CommitOutcome::kAccepted);
  ASSERT_EQ(CommitOne(day0_later, kDay0 + 86399), CommitOutcome::kAccepted);
  ASSERT_EQ(CommitOne(day1, kDay0 + 86400), CommitOutcome::kAccepted);

  auto detail = m_store->GetItem(ItemWith("x").id);
  ASSERT_TRUE(detail.available && detail.value);
  const std::vector<std::pair<std::string, std::uint64_t>> expected = {{"2026-03-01", 4},
                                                                       {"2026-03-02", 2}};
  ASSERT_EQ(detail.value->days.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(detail.value->days[i].day, expected[i].first);
    EXPECT_EQ(detail.value->days[i].count, expected[i].second);
  }
  EXPECT_FALSE(m_store->GetItem(ItemWith("x").id + 1000).value);

  auto losses = m_store->ListLosses(std::string("1.0.0.0"));
  ASSERT_TRUE(losses.available);
  ASSERT_EQ(losses.value.size(), 2u);
  EXPECT_EQ(losses.value[0].cause, LossCause::kDropped);
  EXPECT_EQ(losses.value[0].day, "2026-03-01");
  EXPECT_EQ(losses.value[0].records_lost, 14u);
  EXPECT_EQ(losses.value[1].records_lost, 7u);
  EXPECT_EQ(m_store->ListLosses(std::nullopt).value.size(), 3u);
}

TEST_P(StoreTable, UploadReceiptsKeepWhatArrived) {
  const auto upload = TestUpload("r1", kClientA,
                                 {TestItem("x", 1, std::nullopt, "2.0.0.0"),
                                  TestItem("y", 1, std::nullopt, "1.0.0.0"), TestItem("z", 1)});
  ASSERT_EQ(CommitOne(upload, kDay0 + 5), CommitOutcome::kAccepted);
  auto receipt = m_store->GetUpload("r1");
  ASSERT_TRUE(receipt.available && receipt.value);
  EXPECT_EQ(receipt.value->client, kClientA);
  EXPECT_EQ(receipt.value->received, kDay0 + 5);
  EXPECT_EQ(receipt.value->items, 3u);
  EXPECT_EQ(receipt.value->bytes, upload.bytes);
  EXPECT_EQ(receipt.value->product_versions, (std::vector<std::string>{"2.0.0.0", "1.0.0.0"}));
  EXPECT_FALSE(m_store->GetUpload("r2").value);
  EXPECT_TRUE(m_store->Healthy());
}

TEST_P(StoreTable, PagesWalkEveryItemOnceUnderTies) {
  // Counts with ties, clients 1 or 2, and receipts at three times.
  const std::vector<std::uint64_t> counts = {5, 5, 5, 3, 3, 1, 1};
  std::vector<FoldedItem> items;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    items.push_back(TestItem("m" + std::to_string(i), counts[i]));
  }
  const auto first = TestUpload("p1", kClientA, items);
  const auto second = TestUpload("p2", kClientB, {TestItem("m6", 0)});
  ASSERT_EQ(CommitOne(first, kDay0), CommitOutcome::kAccepted);
  ASSERT_EQ(CommitOne(second, kDay0 + 9), CommitOutcome::kAccepted);

  for (ItemSort sort : {ItemSort::kCount, ItemSort::kClients, ItemSort::kLastSeen}) {
    ItemQuery query;
    query.sort = sort;
    query.limit = 3;
    std::vector<ItemSummary> walked;
    for (int pages = 0; pages < 10; ++pages) {
      auto page = m_store->ListItems(query);
      ASSERT_TRUE(page.available);
      EXPECT_LE(page.value.items.size(), 3u);
      walked.insert(walked.end(), page.value.items.begin(), page.value.items.end());
      if (!page.value.next) break;
      query.after = page.value.next;
    }
    ASSERT_EQ(walked.size(), counts.size());
    std::set<std::int64_t> ids;
    for (std::size_t i = 0; i < walked.size(); ++i) {
      ids.insert(walked[i].id);
      if (i == 0) continue;
      EXPECT_TRUE(std::make_pair(SortValue(sort, walked[i - 1]), walked[i - 1].id) >
                  std::make_pair(SortValue(sort, walked[i]), walked[i].id));
    }
    EXPECT_EQ(ids.size(), counts.size());
  }
  // A cursor of another sort, or a made-up one, ends the walk.
  ItemQuery mangled;
  mangled.after = "c5.x";
  EXPECT_TRUE(m_store->ListItems(mangled).value.items.empty());
}

TEST_P(StoreTable, FiltersSelectByProductKindAndText) {
  const auto upload =
      TestUpload("f1", kClientA,
                 {TestItem("open C:\\x failed", 1), TestItem("100% used", 1, "disk C:"),
                  TestItem("other", 1, std::nullopt, "2.0.0.0"),
                  TestItem("other", 1, std::nullopt, "1.0.0.0", "Warning")});
  ASSERT_EQ(CommitOne(upload, kDay0), CommitOutcome::kAccepted);
  // "1_0" would match "100%" if the text were a LIKE pattern.
  struct FilterRow {
    std::optional<std::string> product, kind, text;
    std::size_t expected;
  };
  const std::vector<FilterRow> rows = {
      {"2.0.0.0", {}, {}, 1}, {{}, "Warning", {}, 1}, {{}, {}, "C:\\x", 1},
      {{}, {}, "disk", 1},    {{}, {}, "1_0", 0},     {"1.0.0.0", {}, "other", 1},
      {{}, {}, "nowhere", 0},
  };
  for (const auto& row : rows) {
    ItemQuery query;
    query.product = row.product;
    query.kind = row.kind;
    query.text = row.text;
    EXPECT_EQ(Items(query).size(), row.expected)
        << row.product.value_or("") << "|" << row.kind.value_or("") << "|" << row.text.value_or("");
  }
}

TEST_P(StoreTable, PruneDropsOldDaysAndKeepsKeys) {
  const auto upload = TestUpload("old", kClientA, {TestItem("x", 2)});
  ASSERT_EQ(CommitOne(upload, kDay0), CommitOutcome::kAccepted);
  const std::int64_t day = 86400;
  ASSERT_TRUE(m_store->Prune(kDay0 + 90 * day, 90));
  EXPECT_EQ(m_store->GetItem(ItemWith("x").id).value->days.size(), 1u) << "day 90 keeps day 0";
  ASSERT_TRUE(m_store->Prune(kDay0 + 91 * day, 90));
  EXPECT_TRUE(m_store->GetItem(ItemWith("x").id).value->days.empty());
  EXPECT_EQ(ItemWith("x").count, 2u) << "totals outlive their days";
  // The key outlives the days, so a late retry is still a duplicate.
  ASSERT_TRUE(m_store->Prune(kDay0 + 400 * day, 1));
  EXPECT_TRUE(m_store->GetUpload("old").value);
  EXPECT_EQ(CommitOne(upload, kDay0 + 400 * day), CommitOutcome::kDuplicate);
  ASSERT_TRUE(m_store->Prune(kDay0 + 401 * day, 1));
  EXPECT_FALSE(m_store->GetUpload("old").value);
}

TEST_P(StoreTable, ReopenedStoreKeepsCountsAndKeys) {
  const auto upload = TestUpload("keep", kClientA, {TestItem("x", 6)});
  ASSERT_EQ(CommitOne(upload, kDay0), CommitOutcome::kAccepted);
  Reopen();
  EXPECT_EQ(CommitOne(upload, kDay0 + 1), CommitOutcome::kDuplicate);
  EXPECT_EQ(ItemWith("x").count, 6u);
  EXPECT_EQ(ItemWith("x").clients, 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTable, ::testing::ValuesIn(StoreBackends()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace intake::test
