#include "store/postgres/postgres_store.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "store/postgres/pg_connection_pool.h"
#include "store/postgres/pg_day_partitions.h"
#include "store/postgres/pg_group_commit.h"
#include "store/postgres/pg_reads.h"
#include "store/postgres/pg_schema.h"

namespace intake {
namespace {

// Sessions per process: the committing thread and a few readers. Each
// session is a server process, so nodes times this stays well under the
// server's max_connections.
constexpr std::size_t kMaxSessions = 6;

constexpr pg::Statement kDeleteOldUploads{"delete_old_uploads",
                                          "DELETE FROM uploads WHERE received < $1::bigint"};

class PostgresStore final : public Store {
 public:
  explicit PostgresStore(const std::string& url) : m_pool(url, kMaxSessions) {}

  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit) override {
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      if (!session) {
        return std::vector<CommitResult>(
            uploads.size(),
            CommitResult{CommitOutcome::kUnavailable, pg::kRetryAfterUnavailableSeconds});
      }
      return pg::CommitGroupOn(**session, m_partitions, uploads, now, limit);
    } catch (const std::exception&) {
      return std::vector<CommitResult>(
          uploads.size(),
          CommitResult{CommitOutcome::kUnavailable, pg::kRetryAfterUnavailableSeconds});
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
             *up = conn.Run("SELECT 1").ok();
             return *up;
           })
        .available;
  }

  bool Prune(UnixSeconds now, std::uint32_t keep_days) override {
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      if (!session) return false;
      const std::int64_t today = pg::DayNumber(now);
      const std::int64_t keys_days = std::max<std::int64_t>(keep_days, kKeepKeysDays);
      const bool ok =
          m_partitions.DropBefore(**session, today - keep_days, &error) &&
          (*session)->Exec(kDeleteOldUploads, {std::to_string(now - keys_days * 86400)}).ok();
      return ok && m_partitions.Ensure(**session, today, &error);
    } catch (const std::exception&) {
      return false;
    }
  }

  bool Open(std::string* error) {
    auto session = m_pool.Acquire(error);
    return session && pg::UpgradeSchema(**session, error);
  }

 private:
  template <typename T, typename Query>
  ReadResult<T> Read(Query&& query) {
    ReadResult<T> result;
    try {
      std::string error;
      auto session = m_pool.Acquire(&error);
      if (session && query(**session, &result.value)) result.available = true;
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
  try {
    auto store = std::make_unique<PostgresStore>(url);
    if (!store->Open(error)) {
      *error = "postgresql: " + *error;
      return nullptr;
    }
    return store;
  } catch (const std::bad_alloc&) {
    *error = "postgresql: out of memory";
  } catch (const std::exception& e) {
    *error = std::string("postgresql: ") + e.what();
  }
  return nullptr;
}

}  // namespace intake
