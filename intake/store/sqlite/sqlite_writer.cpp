#include "store/sqlite/sqlite_writer.h"

#include <algorithm>

#include "store/item_key_hash.h"
#include "store/utc_day.h"

namespace intake {
namespace {

// The window of the per-client rate limit.
constexpr UnixSeconds kRateWindowSeconds = 3600;

constexpr char kKeyCommitted[] = "SELECT 1 FROM uploads WHERE key = ?";
constexpr char kRecentUploads[] =
    "SELECT count(*), min(received) FROM uploads WHERE client = ? AND received > ?";
constexpr char kInsertUpload[] =
    "INSERT INTO uploads (key, client, received, items, bytes) VALUES (?, ?, ?, ?, ?)";
// A version listed twice keeps its first position.
constexpr char kInsertUploadVersion[] =
    "INSERT INTO upload_versions (product_ver, upload_key, position) VALUES (?, ?, ?) "
    "ON CONFLICT DO NOTHING";
// A client counts once per item, however often it reports it: a new row
// starts with its first client, and an existing one counts the client when
// item_clients does not hold it yet (the insert after this adds it).
constexpr char kUpsertItem[] =
    "INSERT INTO items (key_hash, product_ver, kind, error_code, message, value, dll_ver, "
    "app_ver, count, clients, first_seen, last_seen) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 1, ?10, ?10) "
    "ON CONFLICT (key_hash) DO UPDATE SET count = count + excluded.count, "
    "clients = clients + NOT EXISTS (SELECT 1 FROM item_clients "
    "WHERE item_id = items.id AND client_id = ?11), "
    "first_seen = min(first_seen, excluded.first_seen), "
    "last_seen = max(last_seen, excluded.last_seen) "
    "RETURNING id";
constexpr char kFindClient[] = "SELECT id FROM clients WHERE name = ?";
constexpr char kInsertClient[] = "INSERT INTO clients (name) VALUES (?) RETURNING id";
constexpr char kInsertItemClient[] =
    "INSERT INTO item_clients (item_id, client_id) VALUES (?, ?) ON CONFLICT DO NOTHING";
constexpr char kUpsertItemDay[] =
    "INSERT INTO item_days (item_id, day, count) VALUES (?, ?, ?) "
    "ON CONFLICT (item_id, day) DO UPDATE SET count = count + excluded.count";
constexpr char kUpsertLoss[] =
    "INSERT INTO losses (cause, product_ver, day, records_lost) VALUES (?, ?, ?, ?) "
    "ON CONFLICT (cause, product_ver, day) DO UPDATE SET "
    "records_lost = records_lost + excluded.records_lost";
constexpr char kPruneItemDays[] = "DELETE FROM item_days WHERE day < ?";
constexpr char kPruneUploads[] = "DELETE FROM uploads WHERE received < ?";

std::int64_t AsInt(std::uint64_t n) { return static_cast<std::int64_t>(n); }

}  // namespace

std::vector<CommitResult> SqliteWriter::CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                                    UnixSeconds now, const RateLimit& limit) {
  std::vector<CommitResult> results;
  results.reserve(uploads.size());
  // One transaction, one flush: the duplicate and rate checks read what the
  // uploads before them in this group wrote, under the write lock, so the
  // check and the count are one atomic step.
  SqliteTransaction transaction(m_connection);
  for (const FoldedUpload* upload : uploads) {
    results.push_back(upload ? CommitOne(*upload, now, limit) : CommitResult{});
  }
  transaction.Commit();
  return results;
}

CommitResult SqliteWriter::CommitOne(const FoldedUpload& upload, UnixSeconds now,
                                     const RateLimit& limit) {
  if (KeyCommitted(upload.key)) return {CommitOutcome::kDuplicate, 0};
  if (std::uint32_t wait = RateLimitWait(upload.client, now, limit)) {
    return {CommitOutcome::kRateLimited, wait};
  }
  InsertUpload(upload, now);
  const std::int64_t day = UtcDayNumber(now);
  const std::int64_t client = ClientId(upload.client);
  for (const FoldedItem& item : upload.items) FoldItem(item, client, now, day);
  for (const LossRow& loss : upload.losses) FoldLoss(loss, day);
  return {CommitOutcome::kAccepted, 0};
}

bool SqliteWriter::KeyCommitted(const std::string& key) {
  auto query = m_connection.Use(kKeyCommitted);
  return query.Bind(1, key).Step();
}

std::uint32_t SqliteWriter::RateLimitWait(const std::string& client, UnixSeconds now,
                                          const RateLimit& limit) {
  auto query = m_connection.Use(kRecentUploads);
  query.Bind(1, client).Bind(2, now - kRateWindowSeconds);
  const bool row = query.Step();
  const std::int64_t recent = row ? query.Int(0) : 0;
  if (recent < std::int64_t{limit.uploads_per_client_per_hour}) return 0;
  // The oldest upload in the window leaves it at oldest + window; with a
  // limit of 0 there is none, and the client waits a whole window.
  const UnixSeconds oldest = (row && !query.IsNull(1)) ? query.Int(1) : now;
  return static_cast<std::uint32_t>(
      std::clamp<UnixSeconds>(oldest + kRateWindowSeconds - now, 1, kRateWindowSeconds));
}

void SqliteWriter::InsertUpload(const FoldedUpload& upload, UnixSeconds now) {
  m_connection.Use(kInsertUpload)
      .Bind(1, upload.key)
      .Bind(2, upload.client)
      .Bind(3, now)
      .Bind(4, AsInt(upload.items.size()))
      .Bind(5, AsInt(upload.bytes))
      .Run();
  std::int64_t position = 0;
  for (const std::string& version : upload.product_versions) {
    m_connection.Use(kInsertUploadVersion)
        .Bind(1, version)
        .Bind(2, upload.key)
        .Bind(3, position++)
        .Run();
  }
}

std::int64_t SqliteWriter::ClientId(const std::string& client) {
  {
    auto known = m_connection.Use(kFindClient);
    if (known.Bind(1, client).Step()) return known.Int(0);
  }
  auto added = m_connection.Use(kInsertClient);
  if (!added.Bind(1, client).Step()) throw SqliteError("the client insert returned no id");
  const std::int64_t id = added.Int(0);
  added.Run();
  return id;
}

void SqliteWriter::FoldItem(const FoldedItem& item, std::int64_t client, UnixSeconds now,
                            std::int64_t day) {
  const ItemKey& key = item.key;
  const ItemKeyHash hash = HashItemKey(key);
  std::int64_t id = 0;
  {
    auto upsert = m_connection.Use(kUpsertItem);
    upsert.BindBlob(1, hash.data(), hash.size())
        .Bind(2, key.product_ver)
        .Bind(3, key.kind)
        .Bind(4, std::int64_t{key.error_code})
        .Bind(5, key.message)
        .Bind(6, key.value)
        .Bind(7, key.dll_ver)
        .Bind(8, key.app_ver)
        .Bind(9, AsInt(item.count))
        .Bind(10, now)
        .Bind(11, client);
    if (!upsert.Step()) throw SqliteError("the item upsert returned no id");
    id = upsert.Int(0);
    upsert.Run();
  }
  m_connection.Use(kInsertItemClient).Bind(1, id).Bind(2, client).Run();
  m_connection.Use(kUpsertItemDay).Bind(1, id).Bind(2, day).Bind(3, AsInt(item.count)).Run();
}

void SqliteWriter::FoldLoss(const LossRow& loss, std::int64_t day) {
  m_connection.Use(kUpsertLoss)
      .Bind(1, std::int64_t{static_cast<int>(loss.cause)})
      .Bind(2, loss.product_ver)
      .Bind(3, day)
      .Bind(4, AsInt(loss.records_lost))
      .Run();
}

void SqliteWriter::Prune(UnixSeconds now, std::uint32_t keep_days) {
  SqliteTransaction transaction(m_connection);
  const std::int64_t today = UtcDayNumber(now);
  // Today and the keep_days days before it stay.
  m_connection.Use(kPruneItemDays).Bind(1, today - std::int64_t{keep_days}).Run();
  // Keys outlive any client's retries: a late retry is still a duplicate.
  const std::int64_t key_days = std::max<std::int64_t>(keep_days, kKeepKeysDays);
  m_connection.Use(kPruneUploads).Bind(1, (today - key_days) * kSecondsPerDay).Run();
  transaction.Commit();
}

}  // namespace intake
