#include "store/postgres/pg_group_commit.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "store/postgres/pg_arrays.h"
#include "store/postgres/pg_item_digest.h"

namespace intake::pg {
namespace {

// The rate limit's window.
constexpr UnixSeconds kHour = 3600;
// A deadlock between nodes, or a partition another node dropped, costs a
// transaction this many more tries before the answer is 503.
constexpr int kAttempts = 4;

// Each client's uploads are decided under a transaction lock on the
// client's own number, so that nodes check and count one client in turn:
// the rate limit is shared, and of two nodes given one upload (one key
// belongs to one client) the second sees the first's commit.
constexpr Statement kLockClients{
    "lock_clients", "SELECT pg_advisory_xact_lock(k) FROM unnest($1::bigint[]) AS u(k)"};
constexpr Statement kFindKeys{"find_keys", "SELECT key FROM uploads WHERE key = ANY($1::text[])"};
constexpr Statement kRecentUploads{
    "recent_uploads",
    "SELECT client, count(*), min(received) FROM uploads "
    "WHERE client = ANY($1::text[]) AND received > $2::bigint GROUP BY client"};
constexpr Statement kInsertUploads{
    "insert_uploads",
    "INSERT INTO uploads (key, client, received, items, bytes, product_versions) "
    "SELECT k, c, $3::bigint, i, b, p::text[] "
    "FROM unnest($1::text[], $2::text[], $4::bigint[], $5::bigint[], $6::text[]) "
    "AS u(k, c, i, b, p) ON CONFLICT (key) DO NOTHING RETURNING key"};
// Rows go in in digest order, so that concurrent transactions lock shared
// items in one order and cannot deadlock on them.
constexpr Statement kUpsertItems{
    "upsert_items",
    "INSERT INTO items (digest, product_ver, kind, error_code, message, value, dll_ver, app_ver, "
    "count, clients, first_seen, last_seen) "
    "SELECT decode(d, 'hex'), pv, k, e, m, v, dv, av, n, 0, $9::bigint, $9::bigint "
    "FROM unnest($1::text[], $2::text[], $3::text[], $4::int[], $5::text[], $6::text[], "
    "$7::text[], $8::text[], $10::bigint[]) WITH ORDINALITY AS u(d, pv, k, e, m, v, dv, av, n, o) "
    "ORDER BY o ON CONFLICT (digest) DO UPDATE SET count = items.count + excluded.count, "
    "first_seen = least(items.first_seen, excluded.first_seen), "
    "last_seen = greatest(items.last_seen, excluded.last_seen) "
    "RETURNING id, encode(digest, 'hex')"};
constexpr Statement kAddClients{
    "add_clients",
    "WITH added AS (INSERT INTO item_clients (item_id, client) "
    "SELECT i, c FROM unnest($1::bigint[], $2::text[]) AS u(i, c) "
    "ON CONFLICT DO NOTHING RETURNING item_id), "
    "counted AS (SELECT item_id, count(*) AS n FROM added GROUP BY item_id) "
    "UPDATE items SET clients = items.clients + counted.n FROM counted "
    "WHERE items.id = counted.item_id"};
constexpr Statement kAddItemDays{
    "add_item_days",
    "INSERT INTO item_days (day, item_id, count) "
    "SELECT $1::date, i, n FROM unnest($2::bigint[], $3::bigint[]) AS u(i, n) "
    "ON CONFLICT (item_id, day) DO UPDATE SET count = item_days.count + excluded.count"};
constexpr Statement kAddLossDays{
    "add_loss_days",
    "INSERT INTO loss_days (day, cause, product_ver, records_lost) "
    "SELECT $1::date, c, p, n FROM unnest($2::int[], $3::text[], $4::bigint[]) AS u(c, p, n) "
    "ON CONFLICT (cause, product_ver, day) "
    "DO UPDATE SET records_lost = loss_days.records_lost + excluded.records_lost"};

// The same number on every node and build (FNV-1a), as advisory locks need.
std::int64_t ClientLockKey(const std::string& client) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : client) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return static_cast<std::int64_t>(hash);
}

struct ItemTotal {
  const ItemKey* key = nullptr;
  std::uint64_t count = 0;
  std::set<std::string> clients;
};

enum class AttemptEnd { kCommitted, kRetry, kMissingPartition, kFailed };

class GroupTransaction {
 public:
  GroupTransaction(Connection& conn, const std::vector<const FoldedUpload*>& uploads,
                   UnixSeconds now, const RateLimit& limit)
      : m_conn(conn), m_uploads(uploads), m_now(now), m_limit(limit) {}

  AttemptEnd Run() {
    m_results.assign(m_uploads.size(), CommitResult{});
    const AttemptEnd end = Steps();
    if (end != AttemptEnd::kCommitted && !m_conn.broken()) m_conn.Run("ROLLBACK");
    return end;
  }
  const std::vector<CommitResult>& results() const { return m_results; }
  const std::string& error() const { return m_error; }

 private:
  bool Check(const QueryResult& result) {
    if (result.ok()) return true;
    m_error = result.message();
    m_end = result.failure() == Failure::kRetry ? AttemptEnd::kRetry
            : result.sqlstate() == "23514"      ? AttemptEnd::kMissingPartition
                                                : AttemptEnd::kFailed;
    return false;
  }

  AttemptEnd Steps() {
    if (!Check(m_conn.Run("BEGIN")) || !LockClients() || !Decide() || !InsertUploads() ||
        !AddItems() || !AddLosses() || !Check(m_conn.Run("COMMIT"))) {
      return m_end;
    }
    return AttemptEnd::kCommitted;
  }

  bool LockClients() {
    std::vector<std::int64_t> keys;
    for (const FoldedUpload* upload : m_uploads) keys.push_back(ClientLockKey(upload->client));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    ArrayLiteral array;
    for (std::int64_t key : keys) array.AddInt(key);
    return Check(m_conn.Exec(kLockClients, {std::move(array).Finish()}));
  }

  // Duplicates first, then the rate check of what is new, in group order.
  bool Decide() {
    ArrayLiteral keys, clients;
    for (const FoldedUpload* upload : m_uploads) {
      keys.AddText(upload->key);
      clients.AddText(upload->client);
    }
    QueryResult known = m_conn.Exec(kFindKeys, {std::move(keys).Finish()});
    if (!Check(known)) return false;
    std::unordered_set<std::string> seen;
    for (int row = 0; row < known.rows(); ++row) seen.insert(known.text(row, 0));
    QueryResult recent =
        m_conn.Exec(kRecentUploads, {std::move(clients).Finish(), std::to_string(m_now - kHour)});
    if (!Check(recent)) return false;
    struct Window {
      std::int64_t count = 0;
      UnixSeconds oldest = 0;
    };
    std::unordered_map<std::string, Window> windows;
    for (int row = 0; row < recent.rows(); ++row) {
      windows[recent.text(row, 0)] = {recent.int64(row, 1), recent.int64(row, 2)};
    }
    for (std::size_t i = 0; i < m_uploads.size(); ++i) {
      const FoldedUpload& upload = *m_uploads[i];
      if (seen.contains(upload.key)) {
        m_results[i] = {CommitOutcome::kDuplicate, 0};
        continue;
      }
      Window& window = windows[upload.client];
      if (window.count >= static_cast<std::int64_t>(m_limit.uploads_per_client_per_hour)) {
        const UnixSeconds wait = std::clamp<UnixSeconds>(window.oldest + kHour - m_now, 1, kHour);
        m_results[i] = {CommitOutcome::kRateLimited, static_cast<std::uint32_t>(wait)};
        continue;
      }
      if (window.count == 0) window.oldest = m_now;
      ++window.count;
      seen.insert(upload.key);
      m_results[i] = {CommitOutcome::kAccepted, 0};
      m_accepted.push_back(&upload);
    }
    return true;
  }

  bool InsertUploads() {
    if (m_accepted.empty()) return true;
    ArrayLiteral keys, clients, items, bytes, versions;
    for (const FoldedUpload* upload : m_accepted) {
      keys.AddText(upload->key);
      clients.AddText(upload->client);
      items.AddInt(static_cast<std::int64_t>(upload->items.size()));
      bytes.AddInt(static_cast<std::int64_t>(upload->bytes));
      ArrayLiteral own;
      for (const std::string& version : upload->product_versions) own.AddText(version);
      versions.AddText(std::move(own).Finish());
    }
    QueryResult inserted =
        m_conn.Exec(kInsertUploads, {std::move(keys).Finish(), std::move(clients).Finish(),
                                     std::to_string(m_now), std::move(items).Finish(),
                                     std::move(bytes).Finish(), std::move(versions).Finish()});
    if (!Check(inserted)) return false;
    if (static_cast<std::size_t>(inserted.rows()) != m_accepted.size()) {
      // A key committed meanwhile without its client's lock: start again,
      // and the next try finds it a duplicate.
      m_error = "an upload key was committed meanwhile";
      m_end = AttemptEnd::kRetry;
      return false;
    }
    return true;
  }

  bool AddItems() {
    std::map<std::string, ItemTotal> totals;  // by digest: the order rows are locked in
    for (const FoldedUpload* upload : m_accepted) {
      for (const FoldedItem& item : upload->items) {
        ItemTotal& total = totals[ItemDigestHex(item.key)];
        total.key = &item.key;
        total.count += item.count;
        total.clients.insert(upload->client);
      }
    }
    if (totals.empty()) return true;
    ArrayLiteral digests, products, kinds, codes, messages, values, dlls, apps, counts;
    for (const auto& [digest, total] : totals) {
      digests.AddText(digest);
      products.AddText(total.key->product_ver);
      kinds.AddText(total.key->kind);
      codes.AddInt(total.key->error_code);
      messages.AddText(total.key->message);
      if (total.key->value) {
        values.AddText(*total.key->value);
      } else {
        values.AddNull();
      }
      dlls.AddText(total.key->dll_ver);
      apps.AddText(total.key->app_ver);
      counts.AddInt(static_cast<std::int64_t>(total.count));
    }
    QueryResult ids =
        m_conn.Exec(kUpsertItems, {std::move(digests).Finish(), std::move(products).Finish(),
                                   std::move(kinds).Finish(), std::move(codes).Finish(),
                                   std::move(messages).Finish(), std::move(values).Finish(),
                                   std::move(dlls).Finish(), std::move(apps).Finish(),
                                   std::to_string(m_now), std::move(counts).Finish()});
    if (!Check(ids)) return false;
    std::unordered_map<std::string, std::string> id_of;
    id_of.reserve(static_cast<std::size_t>(ids.rows()));
    for (int row = 0; row < ids.rows(); ++row) id_of[ids.text(row, 1)] = ids.text(row, 0);

    ArrayLiteral client_items, client_names, day_items, day_counts;
    for (const auto& [digest, total] : totals) {
      const auto id = id_of.find(digest);
      if (id == id_of.end()) {
        m_error = "an item row came back without its id";
        m_end = AttemptEnd::kFailed;
        return false;
      }
      const std::int64_t item_id = std::stoll(id->second);
      for (const std::string& client : total.clients) {
        client_items.AddInt(item_id);
        client_names.AddText(client);
      }
      day_items.AddInt(item_id);
      day_counts.AddInt(static_cast<std::int64_t>(total.count));
    }
    return Check(m_conn.Exec(kAddClients, {std::move(client_items).Finish(),
                                           std::move(client_names).Finish()})) &&
           Check(
               m_conn.Exec(kAddItemDays, {DayText(DayNumber(m_now)), std::move(day_items).Finish(),
                                          std::move(day_counts).Finish()}));
  }

  bool AddLosses() {
    std::map<std::pair<int, std::string>, std::uint64_t> totals;
    for (const FoldedUpload* upload : m_accepted) {
      for (const LossRow& loss : upload->losses) {
        totals[{static_cast<int>(loss.cause), loss.product_ver}] += loss.records_lost;
      }
    }
    if (totals.empty()) return true;
    ArrayLiteral causes, products, lost;
    for (const auto& [key, records] : totals) {
      causes.AddInt(key.first);
      products.AddText(key.second);
      lost.AddInt(static_cast<std::int64_t>(records));
    }
    return Check(
        m_conn.Exec(kAddLossDays, {DayText(DayNumber(m_now)), std::move(causes).Finish(),
                                   std::move(products).Finish(), std::move(lost).Finish()}));
  }

  Connection& m_conn;
  const std::vector<const FoldedUpload*>& m_uploads;
  const UnixSeconds m_now;
  const RateLimit m_limit;
  std::vector<CommitResult> m_results;
  std::vector<const FoldedUpload*> m_accepted;
  AttemptEnd m_end = AttemptEnd::kFailed;
  std::string m_error;
};

std::vector<CommitResult> Unavailable(std::size_t count) {
  return std::vector<CommitResult>(
      count, CommitResult{CommitOutcome::kUnavailable, kRetryAfterUnavailableSeconds});
}

}  // namespace

std::vector<CommitResult> CommitGroupOn(Connection& conn, DayPartitions& partitions,
                                        const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit) {
  if (uploads.empty()) return {};
  std::string error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!partitions.Ensure(conn, DayNumber(now), &error)) break;
    GroupTransaction transaction(conn, uploads, now, limit);
    const AttemptEnd end = transaction.Run();
    if (end == AttemptEnd::kCommitted) return transaction.results();
    error = transaction.error();
    if (end == AttemptEnd::kMissingPartition) {
      partitions.Forget();
    } else if (end != AttemptEnd::kRetry) {
      break;
    }
  }
  if (!conn.broken()) std::fprintf(stderr, "report-intake: postgresql: %s\n", error.c_str());
  return Unavailable(uploads.size());
}

}  // namespace intake::pg
