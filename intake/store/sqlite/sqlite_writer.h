// The write side of the SQLite store: group commits and pruning on one
// connection. Not thread-safe: the store holds its lock around each call.
// Throws SqliteError (or std::bad_alloc) when the store cannot commit; the
// open transaction is then rolled back, so nothing of the group is kept.
#pragma once

#include <string>
#include <vector>

#include "store/sqlite/sqlite_connection.h"
#include "store/store.h"

namespace intake {

class SqliteWriter {
 public:
  // `connection` must hold the current schema.
  explicit SqliteWriter(SqliteConnection& connection) : m_connection(connection) {}

  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit);
  void Prune(UnixSeconds now, std::uint32_t keep_days);

 private:
  CommitResult CommitOne(const FoldedUpload& upload, UnixSeconds now, const RateLimit& limit);
  bool KeyCommitted(const std::string& key);
  // Seconds until the client may send again, or 0 when it is under the limit.
  std::uint32_t RateLimitWait(const std::string& client, UnixSeconds now, const RateLimit& limit);
  void InsertUpload(const FoldedUpload& upload, UnixSeconds now);
  std::int64_t ClientId(const std::string& client);
  void FoldItem(const FoldedItem& item, std::int64_t client, UnixSeconds now, std::int64_t day);
  void FoldLoss(const LossRow& loss, std::int64_t day);

  SqliteConnection& m_connection;
};

}  // namespace intake
