#include "store/postgres/postgres_store.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <new>

#include "store/postgres/pg_connection_pool.h"
#include "store/postgres/pg_day_partitions.h"
#include "store/postgres/pg_group_commit.h"
#include "store/postgres/pg_reads.h"
#include "store/postgres/pg_schema.h"
#include "store/utc_day.h"

namespace intake {
namespace {

// Sessions per process: the committing thread and a few readers. Each
// session is a server process, so nodes times this stays well under the
// server's max_connections.
constexpr std::size_t kMaxSessions = 6;

constexpr pg::Statement kDeleteOldUploads{"delete_old_uploads",
                                          "DELETE FROM uploads WHERE received < $1::bigint"};

std::vector<CommitResult> AllUnavailable(std::size_t count) {
  return std::vector<CommitResult>(
      count, CommitResult{CommitOutcome::kUnavailable, pg::kRetryAfterUnavailableSeconds});
}

// Every method lends itself a session for the call and never throws.
class PostgresStore final : public Store {
 public:
  explicit PostgresStore(const std::string& url) : m_pool(url, kMaxSessions) {}

  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit) override {
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      if (!session) return AllUnavailable(uploads.size());
      return pg::CommitGroupOn(**session, m_partitions, uploads, now, limit);
    } catch (const std::exception&) {
      // The session's transaction dies with the session or its rollback.
      return AllUnavailable(uploads.size());
    }
  }

  ReadResult<ItemPage> ListItems(const ItemQuery& query) override {
    return Read<ItemPage>(
        [&](pg::Connection& conn, ItemPage* page) { return pg::ReadItems(conn, query, page); });
  }

  ReadResult<std::optional<ItemDetail>> GetItem(std::int64_t id) override {
    return Read<std::optional<ItemDetail>>(
        [&](pg::Connection& conn, std::optional<ItemDetail>* item) {
          return pg::ReadItem(conn, id, item);
        });
  }

  ReadResult<std::vector<LossDay>> ListLosses(const std::optional<std::string>& product) override {
    return Read<std::vector<LossDay>>([&](pg::Connection& conn, std::vector<LossDay>* losses) {
      return pg::ReadLosses(conn, product, losses);
    });
  }

  ReadResult<std::optional<UploadReceipt>> GetUpload(const std::string& key) override {
    return Read<std::optional<UploadReceipt>>(
        [&](pg::Connection& conn, std::optional<UploadReceipt>* upload) {
          return pg::ReadUpload(conn, key, upload);
        });
  }

  bool Healthy() override {
    return Read<bool>([](pg::Connection& conn, bool* up) {
             *up = conn.Run("SELECT version FROM schema_version").ok();
             return *up;
           })
        .available;
  }

  bool Prune(UnixSeconds now, std::uint32_t keep_days) override {
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      if (!session) return false;
      // Today and the keep_days days before it stay; keys outlive any
      // client's retries, so a late retry is still a duplicate.
      const std::int64_t today = UtcDayNumber(now);
      const std::int64_t key_days = std::max<std::int64_t>(keep_days, kKeepKeysDays);
      const std::string key_cutoff = std::to_string((today - key_days) * kSecondsPerDay);
      return m_partitions.DropBefore(**session, today - std::int64_t{keep_days}, &error) &&
             (*session)->Exec(kDeleteOldUploads, {key_cutoff}).ok() &&
             m_partitions.Ensure(**session, today, &error);
    } catch (const std::exception&) {
      return false;
    }
  }

  bool Open(std::string* error) {
    auto session = m_pool.Acquire(error);
    return session && pg::UpgradeSchema(**session, pg::CurrentSchemaVersion(), error) &&
           m_partitions.Ensure(**session, UtcDayNumber(std::time(nullptr)), error);
  }

 private:
  template <typename T, typename Query>
  ReadResult<T> Read(Query&& query) {
    ReadResult<T> result;
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      result.available = session && query(**session, &result.value);
    } catch (const std::exception&) {
      result.available = false;
    }
    if (!result.available) result.value = T{};
    return result;
  }

  pg::ConnectionPool m_pool;
  pg::DayPartitions m_partitions;
};

}  // namespace

std::unique_ptr<Store> OpenPostgresStore(const std::string& url, std::string* error) {
  std::string reason;
  try {
    auto store = std::make_unique<PostgresStore>(url);
    if (store->Open(&reason)) return store;
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (error) *error = "postgresql store: " + reason;
  return nullptr;
}

}  // namespace intake
