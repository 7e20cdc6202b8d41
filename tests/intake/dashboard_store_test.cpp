// The dashboard's store reads on every back-end, and the SQLite schema's
// second step: a store written by the first schema is upgraded at open and
// its summaries back-filled to what live commits would have made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fresh_store_url.h"
#include "store/sqlite/sqlite_schema.h"
#include "store/sqlite/sqlite_writer.h"
#include "store/store.h"
#include "store/utc_day.h"
#include "store_test_uploads.h"

namespace intake::test {
namespace {

const std::string kAccountMessage =
    "Records were not kept: the log was busy or could not be written";

FoldedItem Item(std::string message, std::uint64_t count, std::string product,
                std::string kind = "Error", std::optional<std::string> value = std::nullopt) {
  return TestItem(std::move(message), count, std::move(value), std::move(product), std::move(kind));
}

FoldedItem Account(std::string product, std::uint64_t count) {
  FoldedItem item = Item(kAccountMessage, count, std::move(product), "Warning", "4");
  item.key.error_code = 10902;
  return item;
}

// Three versions, two clients, over two days; an account record in 1.9.
std::vector<std::pair<FoldedUpload, std::int64_t>> Uploads() {
  FoldedUpload a1 =
      TestUpload("k1", "client-a",
                 {Item("Cannot open \"<b>\" file", 3, "1.9.0.0"), Account("1.9.0.0", 2),
                  Item("Only in ten", 1, "1.10.0.0", "Warning")},
                 {{LossCause::kDropped, "1.9.0.0", 8}});
  FoldedUpload b1 = TestUpload("k2", "client-b",
                               {Item("Cannot open \"<b>\" file", 4, "1.10.0.0"),
                                Item("Fresh in two", 5, "2.0.0.0", "Error", "x\"y")});
  FoldedUpload a2 = TestUpload(
      "k3", "client-a", {Item("Cannot open \"<b>\" file", 6, "1.9.0.0"), Item("ab", 1, "2.0.0.0")});
  return {{a1, kDay0 + 100}, {b1, kDay0 + 200}, {a2, kDay0 + kSecondsPerDay + 5}};
}

const VersionFigures* Find(const std::vector<VersionFigures>& versions, const std::string& name) {
  for (const auto& v : versions) {
    if (v.product_ver == name) return &v;
  }
  return nullptr;
}

// A query of the version's items by the filters it names.
struct Filters {
  const char* version;
  const char* kind = nullptr;
  const char* dll = nullptr;
  const char* app = nullptr;
  const char* text = nullptr;
};

VersionItemQuery Query(const Filters& f) {
  const auto maybe = [](const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
  };
  VersionItemQuery query;
  query.product_ver = f.version;
  query.kind = maybe(f.kind);
  query.dll_ver = maybe(f.dll);
  query.app_ver = maybe(f.app);
  query.text = maybe(f.text);
  return query;
}

class DashboardReads : public ::testing::TestWithParam<StoreBackend> {
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
    if (!fresh) GTEST_SKIP() << "no fresh store: " << error;
    m_fresh = *fresh;
    m_store = OpenStore(m_fresh.url, &error);
    ASSERT_TRUE(m_store) << error;
    for (const auto& [upload, at] : Uploads()) {
      ASSERT_EQ(m_store->CommitGroup({&upload}, at, RateLimit{}).at(0).outcome,
                CommitOutcome::kAccepted);
    }
  }
  void TearDown() override {
    m_store.reset();
    if (m_fresh.remove) m_fresh.remove();
  }

  std::vector<std::string> Messages(VersionItemQuery query) {
    auto page = m_store->ListVersionItems(query);
    EXPECT_TRUE(page.available);
    std::vector<std::string> messages;
    for (const auto& item : page.value.items) messages.push_back(item.key.message);
    return messages;
  }

  FreshStore m_fresh;
  std::unique_ptr<Store> m_store;
};

TEST_P(DashboardReads, FiguresPerVersion) {
  const std::int64_t day0 = UtcDayNumber(kDay0);
  auto versions = m_store->ListVersions(day0);
  ASSERT_TRUE(versions.available);
  ASSERT_EQ(versions.value.size(), 3u);
  struct Row {
    const char* version;
    std::uint64_t uploads, clients, items, occurrences, lost;
    std::vector<DayFigure> days;
  };
  const Row rows[] = {
      {"1.9.0.0", 2, 1, 2, 9, 8, {{day0, 3}, {day0 + 1, 6}}},
      {"1.10.0.0", 2, 2, 2, 5, 0, {{day0, 5}}},
      {"2.0.0.0", 2, 2, 2, 6, 0, {{day0, 5}, {day0 + 1, 1}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    const VersionFigures* v = Find(versions.value, row.version);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->uploads, row.uploads);
    EXPECT_EQ(v->clients, row.clients);
    EXPECT_EQ(v->items, row.items);
    EXPECT_EQ(v->occurrences, row.occurrences) << "account records are not occurrences";
    EXPECT_EQ(v->records_lost, row.lost);
    ASSERT_EQ(v->days.size(), row.days.size());
    for (std::size_t i = 0; i < row.days.size(); ++i) {
      EXPECT_EQ(v->days[i].day, row.days[i].day);
      EXPECT_EQ(v->days[i].count, row.days[i].count);
    }
  }
  auto facets = m_store->GetVersionFacets("1.10.0.0");
  ASSERT_TRUE(facets.available);
  EXPECT_EQ(facets.value.kinds, (std::vector<std::string>{"Error", "Warning"}));
  EXPECT_EQ(facets.value.dll_vers, (std::vector<std::string>{"3.1.0.7"}));
}

TEST_P(DashboardReads, FiltersSearchAndIdentity) {
  struct Row {
    const char* why;
    Filters filters;
    std::vector<std::string> messages;
  };
  const std::string open = "Cannot open \"<b>\" file";
  const Row rows[] = {
      {"all, most first", {.version = "1.9.0.0"}, {open, kAccountMessage}},
      {"by kind", {.version = "1.10.0.0", .kind = "Warning"}, {"Only in ten"}},
      {"by DLLVer none", {.version = "1.10.0.0", .dll = "9"}, {}},
      {"by AppVer", {.version = "2.0.0.0", .app = "2.4.0.1"}, {"Fresh in two", "ab"}},
      {"text with quotes and markup", {.version = "1.9.0.0", .text = "\"<b>\""}, {open}},
      {"text in value", {.version = "2.0.0.0", .text = "x\"y"}, {"Fresh in two"}},
      {"text any case", {.version = "2.0.0.0", .text = "FRESH"}, {"Fresh in two"}},
      {"short text", {.version = "2.0.0.0", .text = "ab"}, {"ab"}},
      {"a wildcard is itself", {.version = "2.0.0.0", .text = "%"}, {}},
      {"FTS syntax is text", {.version = "2.0.0.0", .text = "Fresh OR ab"}, {}},
      {"another version", {.version = "3.0"}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(Messages(Query(row.filters)), row.messages);
  }
  auto page = m_store->ListVersionItems(Query({.version = "1.10.0.0", .text = "Cannot"}));
  ASSERT_EQ(page.value.items.size(), 1u);
  auto versions = page.value.items[0].identity_versions;
  std::sort(versions.begin(), versions.end());
  EXPECT_EQ(versions, (std::vector<std::string>{"1.10.0.0", "1.9.0.0"}));

  auto identity = m_store->ListIdentityVersions(page.value.items[0].key);
  ASSERT_TRUE(identity.available);
  ASSERT_EQ(identity.value.size(), 2u);
  for (const auto& v : identity.value) {
    EXPECT_EQ(v.count, v.product_ver == "1.9.0.0" ? 9u : 4u) << v.product_ver;
    EXPECT_EQ(v.clients, 1u);
  }
}

TEST_P(DashboardReads, PagesFollowTheCursor) {
  VersionItemQuery query = Query({.version = "2.0.0.0"});
  query.limit = 1;
  auto first = m_store->ListVersionItems(query);
  ASSERT_TRUE(first.value.next);
  query.after = first.value.next;
  auto second = m_store->ListVersionItems(query);
  ASSERT_EQ(second.value.items.size(), 1u);
  EXPECT_EQ(second.value.items[0].key.message, "ab");
  EXPECT_FALSE(second.value.next);
}

INSTANTIATE_TEST_SUITE_P(Backends, DashboardReads, ::testing::ValuesIn(StoreBackends()),
                         [](const auto& info) { return info.param.name; });

// A store of the first schema, written by that schema's writer, is upgraded
// when opened; its summaries equal those of a store that had them all along.
TEST(DashboardSchema, AnOlderStoreIsUpgradedAndBackFilled) {
  std::string error;
  auto old_fresh = MakeFreshStoreUrl("sqlite:", &error);
  auto new_fresh = MakeFreshStoreUrl("sqlite:", &error);
  ASSERT_TRUE(old_fresh && new_fresh) << error;
  const std::string old_path = old_fresh->url.substr(7);
  {
    SqliteConnection connection(old_path);
    UpgradeSchema(connection, 1);
    SqliteWriter writer(connection);
    for (const auto& [upload, at] : Uploads()) writer.CommitGroup({&upload}, at, RateLimit{});
  }
  auto upgraded = OpenStore(old_fresh->url, &error);
  auto current = OpenStore(new_fresh->url, &error);
  ASSERT_TRUE(upgraded && current) << error;
  for (const auto& [upload, at] : Uploads()) current->CommitGroup({&upload}, at, RateLimit{});
  {
    SqliteConnection connection(old_path);
    EXPECT_EQ(ReadSchemaVersion(connection), kSqliteSchemaVersion);
  }
  const std::int64_t day0 = UtcDayNumber(kDay0);
  auto a = upgraded->ListVersions(day0).value;
  auto b = current->ListVersions(day0).value;
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(a[i].product_ver);
    EXPECT_EQ(a[i].product_ver, b[i].product_ver);
    EXPECT_EQ(a[i].uploads, b[i].uploads);
    EXPECT_EQ(a[i].clients, b[i].clients);
    EXPECT_EQ(a[i].items, b[i].items);
    EXPECT_EQ(a[i].occurrences, b[i].occurrences);
    EXPECT_EQ(a[i].days.size(), b[i].days.size());
  }
  // The text index covers the rows from before the upgrade.
  auto found = upgraded->ListVersionItems(Query({.version = "2.0.0.0", .text = "resh in"}));
  ASSERT_EQ(found.value.items.size(), 1u);
  // And the triggers keep it from here on.
  const FoldedUpload later = TestUpload("k9", "client-c", {Item("Later one", 2, "2.0.0.0")});
  upgraded->CommitGroup({&later}, kDay0 + 2 * kSecondsPerDay, RateLimit{});
  auto after = upgraded->ListVersions(day0).value;
  for (const auto& v : after) {
    if (v.product_ver == "2.0.0.0") {
      EXPECT_EQ(v.clients, 3u);
    }
  }
  EXPECT_EQ(
      upgraded->ListVersionItems(Query({.version = "2.0.0.0", .text = "Later"})).value.items.size(),
      1u);
  upgraded.reset();
  current.reset();
  old_fresh->remove();
  new_fresh->remove();
}

}  // namespace
}  // namespace intake::test
