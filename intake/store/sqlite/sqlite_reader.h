// The read side of the SQLite store, on a connection of its own so that
// reads run beside a commit (WAL). Not thread-safe: the store holds its lock
// around each call. Throws SqliteError when the store does not answer.
#pragma once

#include "store/sqlite/sqlite_connection.h"
#include "store/store.h"

namespace intake {

// The largest page a list returns, whatever the query asks.
inline constexpr std::uint32_t kMaxItemPage = 1000;

class SqliteReader {
 public:
  explicit SqliteReader(SqliteConnection& connection) : m_connection(connection) {}

  ItemPage ListItems(const ItemQuery& query);
  std::optional<ItemDetail> GetItem(std::int64_t id);
  std::vector<LossDay> ListLosses(const std::optional<std::string>& product);
  std::optional<UploadReceipt> GetUpload(const std::string& key);
  bool Healthy();

 private:
  SqliteConnection& m_connection;
};

}  // namespace intake
