#include "store/sqlite/sqlite_store.h"

#include <exception>
#include <mutex>

#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_reader.h"
#include "store/sqlite/sqlite_schema.h"
#include "store/sqlite/sqlite_writer.h"

namespace intake {
namespace {

// How long a client waits before retrying an upload the store could not
// commit: long enough for a busy disk or a checkpoint to pass.
constexpr std::uint32_t kUnavailableRetryAfterSeconds = 5;

// One connection writes, one reads: WAL lets reads run beside a commit.
class SqliteStore final : public Store {
 public:
  explicit SqliteStore(const std::string& path)
      : m_write_connection(path),
        m_writer(m_write_connection),
        m_read_connection(path),
        m_reader(m_read_connection) {}

  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit) override {
    try {
      std::lock_guard lock(m_write_mutex);
      return m_writer.CommitGroup(uploads, now, limit);
    } catch (const std::exception&) {
      // The transaction rolled back: every upload of the group is retried.
    }
    return std::vector<CommitResult>(
        uploads.size(), CommitResult{CommitOutcome::kUnavailable, kUnavailableRetryAfterSeconds});
  }

  ReadResult<ItemPage> ListItems(const ItemQuery& query) override {
    return Read([&] { return m_reader.ListItems(query); });
  }
  ReadResult<std::optional<ItemDetail>> GetItem(std::int64_t id) override {
    return Read([&] { return m_reader.GetItem(id); });
  }
  ReadResult<std::vector<LossDay>> ListLosses(const std::optional<std::string>& product) override {
    return Read([&] { return m_reader.ListLosses(product); });
  }
  ReadResult<std::optional<UploadReceipt>> GetUpload(const std::string& key) override {
    return Read([&] { return m_reader.GetUpload(key); });
  }

  bool Healthy() override {
    auto result = Read([&] { return m_reader.Healthy(); });
    return result.available && result.value;
  }

  bool Prune(UnixSeconds now, std::uint32_t keep_days) override {
    try {
      std::lock_guard lock(m_write_mutex);
      m_writer.Prune(now, keep_days);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  template <typename Reading>
  auto Read(Reading reading) -> ReadResult<decltype(reading())> {
    try {
      std::lock_guard lock(m_read_mutex);
      return {true, reading()};
    } catch (const std::exception&) {
      return {};
    }
  }

  std::mutex m_write_mutex;
  SqliteConnection m_write_connection;
  SqliteWriter m_writer;
  std::mutex m_read_mutex;
  SqliteConnection m_read_connection;
  SqliteReader m_reader;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, std::string* error) {
  try {
    // The schema first, on a connection of its own, so the store's cached
    // statements are prepared against the current tables.
    {
      SqliteConnection connection(path);
      UpgradeSchema(connection);
    }
    return std::make_unique<SqliteStore>(path);
  } catch (const std::exception& e) {
    if (error) *error = "sqlite store " + path + ": " + e.what();
  }
  return nullptr;
}

}  // namespace intake
