// What only the SQLite back-end shows: its schema's upgrades in place, and a
// group whose transaction fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "fresh_store_url.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_schema.h"
#include "store/store.h"
#include "store_test_uploads.h"

namespace intake::test {
namespace {

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    auto fresh = MakeFreshStoreUrl("sqlite:", &error);
    ASSERT_TRUE(fresh) << error;
    m_fresh = *fresh;
    m_path = m_fresh.url.substr(7);
  }
  void TearDown() override { m_fresh.remove(); }

  std::unique_ptr<Store> Open(std::string* error) { return OpenStore(m_fresh.url, error); }
  void RemoveFile() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(m_path + suffix);
  }

  FreshStore m_fresh;
  std::string m_path;
};

// A store left by a build of each older version, with an upload in it, opens
// at this build's version with its rows intact.
TEST_F(SqliteStoreTest, OlderStoresAreUpgradedInPlace) {
  for (int from = 0; from < kSqliteSchemaVersion; ++from) {
    SCOPED_TRACE("from version " + std::to_string(from));
    RemoveFile();
    {
      SqliteConnection old(m_path);
      UpgradeSchema(old, from);
      if (from >= 1) {
        old.Exec(
            "INSERT INTO uploads (key, client, received, items, bytes) "
            "VALUES ('kept', 'c', 1772323200, 0, 10)");
      }
    }
    std::string error;
    auto store = Open(&error);
    ASSERT_TRUE(store) << error;
    if (from >= 1) {
      EXPECT_TRUE(store->GetUpload("kept").value);
    }
    store.reset();
    SqliteConnection opened(m_path);
    EXPECT_EQ(ReadSchemaVersion(opened), kSqliteSchemaVersion);
  }
}

TEST_F(SqliteStoreTest, NewerOrForeignFilesAreRefused) {
  const std::vector<std::pair<const char*, const char*>> files = {
      {"a newer build's store", "UPDATE schema_version SET version = version + 1"},
      {"another program's database", "DROP TABLE schema_version"},
  };
  for (const auto& [why, change] : files) {
    RemoveFile();
    {
      SqliteConnection made(m_path);
      UpgradeSchema(made);
      made.Exec(change);
    }
    std::string error;
    EXPECT_FALSE(Open(&error)) << why;
    EXPECT_FALSE(error.empty()) << why;
  }
}

// A group whose transaction fails keeps nothing of any of its uploads, and
// each of them may be retried.
TEST_F(SqliteStoreTest, AFailedGroupKeepsNothing) {
  std::string error;
  auto store = Open(&error);
  ASSERT_TRUE(store) << error;
  {
    SqliteConnection saboteur(m_path);
    saboteur.Exec(
        "CREATE TRIGGER refuse BEFORE INSERT ON items WHEN new.message = 'refused' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  const auto good = TestUpload("good", "c1", {TestItem("fine", 2)});
  const auto bad = TestUpload("bad", "c2", {TestItem("refused", 1)});
  const auto results = store->CommitGroup({&good, &bad}, kDay0, RateLimit{});
  ASSERT_EQ(results.size(), 2u);
  for (const auto& result : results) {
    EXPECT_EQ(result.outcome, CommitOutcome::kUnavailable);
    EXPECT_GT(result.retry_after_seconds, 0u);
  }
  EXPECT_FALSE(store->GetUpload("good").value);
  EXPECT_TRUE(store->ListItems({}).value.items.empty());
  EXPECT_EQ(store->CommitGroup({&good}, kDay0, RateLimit{}).at(0).outcome,
            CommitOutcome::kAccepted);
  EXPECT_EQ(store->ListItems({}).value.items.at(0).count, 2u);
}

}  // namespace
}  // namespace intake::test
