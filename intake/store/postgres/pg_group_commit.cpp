#include "store/postgres/pg_group_commit.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "store/item_key_hash.h"
#include "store/postgres/pg_arrays.h"
#include "store/utc_day.h"

namespace intake::pg {
namespace {

// The rate limit's window.
constexpr UnixSeconds kHour = 3600;
// A deadlock between nodes, or a partition another node dropped, costs a
// group this many more tries before the answer is 503.
constexpr int kAttempts = 4;
// "no partition of relation found for row": the day's partition is gone.
constexpr const char* kNoPartitionState = "23514";

// Each client's uploads are decided under a transaction lock on the
// client's own number, so that nodes check and count one client in turn:
// the rate limit is shared, and of two nodes given one upload (one key
// belongs to one client) the second sees the first's commit.
constexpr Statement kBegin{"begin", "BEGIN"};
constexpr Statement kCommit{"commit", "COMMIT"};
constexpr Statement kLockClients{
    "lock_clients", "SELECT pg_advisory_xact_lock(k) FROM unnest($1::bigint[]) AS u(k)"};
constexpr Statement kFindKeys{"find_keys", "SELECT key FROM uploads WHERE key = ANY($1::text[])"};
constexpr Statement kRecentUploads{
    "recent_uploads",
    "SELECT client, count(*), min(received) FROM uploads "
    "WHERE client = ANY($1::text[]) AND received > $2::bigint GROUP BY client"};
constexpr Statement kInsertUploads{
    "insert_uploads",
    "INSERT INTO uploads (key, client, received, items, bytes) "
    "SELECT k, c, $3::bigint, i, b FROM unnest($1::text[], $2::text[], $4::bigint[], $5::bigint[]) "
    "AS u(k, c, i, b) ON CONFLICT (key) DO NOTHING RETURNING key"};
// A version listed twice keeps its first position.
constexpr Statement kInsertUploadVersions{
    "insert_upload_versions",
    "INSERT INTO upload_versions (product_ver, upload_key, position) "
    "SELECT v, k, p FROM unnest($1::text[], $2::text[], $3::bigint[]) WITH ORDINALITY "
    "AS u(v, k, p, o) ORDER BY o ON CONFLICT DO NOTHING"};
// The group's clients, each made once in the clients table. No other node
// makes one of them meanwhile: each is under its client lock.
constexpr Statement kClientIds{
    "client_ids",
    "WITH wanted AS (SELECT DISTINCT n FROM unnest($1::text[]) AS u(n)), "
    "added AS (INSERT INTO clients (name) SELECT n FROM wanted ORDER BY n "
    "ON CONFLICT (name) DO NOTHING RETURNING id, name) "
    "SELECT id, name FROM added UNION ALL "
    "SELECT c.id, c.name FROM clients c JOIN wanted ON c.name = wanted.n"};
constexpr Statement kFindItems{
    "find_items",
    "SELECT id, encode(key_hash, 'hex') FROM items "
    "WHERE key_hash = ANY(ARRAY(SELECT decode(h, 'hex') FROM unnest($1::text[]) AS u(h)))"};
// Returns the pairs that are new: a client counts once per item, however
// often it reports it.
constexpr Statement kAddItemClients{
    "add_item_clients",
    "INSERT INTO item_clients (item_id, client_id) "
    "SELECT i, c FROM unnest($1::bigint[], $2::bigint[]) WITH ORDINALITY AS u(i, c, o) ORDER BY o "
    "ON CONFLICT DO NOTHING RETURNING item_id"};
// Rows go in in key-hash order, so that concurrent transactions lock shared
// items in one order and cannot deadlock on them. `clients` holds the
// clients new to the item: all of the group's for an item that did not
// exist when looked up (its clients are under this group's locks, so none
// of them can have reported it since), the new pairs for one that did.
constexpr Statement kUpsertItems{
    "upsert_items",
    "INSERT INTO items (key_hash, product_ver, kind, error_code, message, value, dll_ver, "
    "app_ver, count, clients, first_seen, last_seen) "
    "SELECT decode(h, 'hex'), pv, k, e, m, v, dv, av, n, nc, $9::bigint, $9::bigint "
    "FROM unnest($1::text[], $2::text[], $3::text[], $4::int[], $5::text[], $6::text[], "
    "$7::text[], $8::text[], $10::bigint[], $11::bigint[]) WITH ORDINALITY "
    "AS u(h, pv, k, e, m, v, dv, av, n, nc, o) ORDER BY o "
    "ON CONFLICT (key_hash) DO UPDATE SET count = items.count + excluded.count, "
    "clients = items.clients + excluded.clients, "
    "first_seen = least(items.first_seen, excluded.first_seen), "
    "last_seen = greatest(items.last_seen, excluded.last_seen) "
    "RETURNING id, encode(key_hash, 'hex')"};
constexpr Statement kAddItemDays{
    "add_item_days",
    "INSERT INTO item_days (item_id, day, count) "
    "SELECT i, $1::bigint, n FROM unnest($2::bigint[], $3::bigint[]) WITH ORDINALITY "
    "AS u(i, n, o) ORDER BY o "
    "ON CONFLICT (item_id, day) DO UPDATE SET count = item_days.count + excluded.count"};
constexpr Statement kAddLosses{
    "add_losses",
    "INSERT INTO losses (cause, product_ver, day, records_lost) "
    "SELECT c, p, $1::bigint, n FROM unnest($2::int[], $3::text[], $4::bigint[]) "
    "WITH ORDINALITY AS u(c, p, n, o) ORDER BY o ON CONFLICT (cause, product_ver, day) "
    "DO UPDATE SET records_lost = losses.records_lost + excluded.records_lost"};

// The same number on every node and build (FNV-1a), as advisory locks need.
std::int64_t ClientLockKey(const std::string& client) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : client) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return static_cast<std::int64_t>(hash);
}

std::string HashHex(const ItemKey& key) {
  static constexpr char kHex[] = "0123456789abcdef";
  const ItemKeyHash hash = HashItemKey(key);
  std::string hex;
  hex.reserve(hash.size() * 2);
  for (unsigned char byte : hash) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0xF];
  }
  return hex;
}

std::string Number(std::int64_t n) { return std::to_string(n); }

struct ItemTotal {
  std::string hash;  // hex
  const ItemKey* key = nullptr;
  std::uint64_t count = 0;
  std::vector<const std::string*> client_names;  // each once
  std::vector<std::int64_t> clients;             // their ids, in the same order
  std::int64_t id = 0;                           // 0 until the database names it
  bool known = false;                            // it existed before this group
  std::int64_t new_clients = 0;
};

enum class AttemptEnd { kCommitted, kRetry, kMissingPartition, kFailed };

// One try at the group's transaction. Every step is one statement for the
// whole group, and the statements that do not wait on each other's results
// go in one batch: five round trips in all. The first failure ends the try,
// and Run rolls back.
class GroupTransaction {
 public:
  GroupTransaction(Connection& conn, const std::vector<const FoldedUpload*>& uploads,
                   UnixSeconds now, const RateLimit& limit)
      : m_conn(conn), m_uploads(uploads), m_now(now), m_day(UtcDayNumber(now)), m_limit(limit) {}

  AttemptEnd Run() {
    m_results.assign(m_uploads.size(), CommitResult{});
    const AttemptEnd end = Steps();
    if (end != AttemptEnd::kCommitted && !m_conn.broken()) m_conn.Run("ROLLBACK");
    return end;
  }
  const std::vector<CommitResult>& results() const { return m_results; }
  const std::string& error() const { return m_error; }

 private:
  using Calls = std::vector<Connection::Call>;

  bool Check(const QueryResult& result) {
    if (result.ok()) return true;
    m_error = result.message();
    m_end = result.failure() == Failure::kRetry      ? AttemptEnd::kRetry
            : result.sqlstate() == kNoPartitionState ? AttemptEnd::kMissingPartition
                                                     : AttemptEnd::kFailed;
    return false;
  }

  // Runs a batch; true when every call succeeded.
  bool Batch(const Calls& calls, std::vector<QueryResult>* results) {
    *results = m_conn.ExecBatch(calls);
    for (const QueryResult& result : *results) {
      if (!Check(result)) return false;
    }
    return true;
  }

  AttemptEnd Steps() {
    std::vector<QueryResult> results;
    if (!Batch({{&kBegin, {}}, LockClients(), FindKeys(), RecentUploads()}, &results)) {
      return m_end;
    }
    Decide(results[2], results[3]);
    if (m_accepted.empty()) {
      return Check(m_conn.Exec(kCommit, {})) ? AttemptEnd::kCommitted : m_end;
    }
    m_totals = Totals();
    Calls calls = InsertUploads();
    calls.push_back(ClientIds());
    calls.push_back(FindItems());
    if (!Batch(calls, &results) || !UploadsInserted(results[0]) ||
        !ReadClientIds(results[calls.size() - 2]) || !ReadKnownItems(results.back())) {
      return m_end;
    }
    calls.clear();
    if (!AddClientsOfKnownItems() || !UpsertItems()) return m_end;
    if (auto pairs = ItemClients(false)) calls.push_back(std::move(*pairs));
    calls.push_back(ItemDays());
    if (auto losses = Losses()) calls.push_back(std::move(*losses));
    calls.push_back({&kCommit, {}});
    if (!Batch(calls, &results)) return m_end;
    return AttemptEnd::kCommitted;
  }

  Connection::Call LockClients() {
    std::vector<std::int64_t> keys;
    for (const FoldedUpload* upload : m_uploads) keys.push_back(ClientLockKey(upload->client));
    // One order for every transaction: two groups never wait on each other.
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    ArrayLiteral array;
    for (std::int64_t key : keys) array.AddInt(key);
    return {&kLockClients, {std::move(array).Finish()}};
  }

  Connection::Call FindKeys() {
    ArrayLiteral keys;
    for (const FoldedUpload* upload : m_uploads) keys.AddText(upload->key);
    return {&kFindKeys, {std::move(keys).Finish()}};
  }

  Connection::Call RecentUploads() {
    ArrayLiteral clients;
    for (const FoldedUpload* upload : m_uploads) clients.AddText(upload->client);
    return {&kRecentUploads, {std::move(clients).Finish(), Number(m_now - kHour)}};
  }

  // Duplicates first, then the rate check of what is new, in group order,
  // with the group's own earlier uploads counted as the database would.
  void Decide(const QueryResult& known, const QueryResult& recent) {
    std::unordered_set<std::string> committed;
    for (int row = 0; row < known.rows(); ++row) committed.insert(known.text(row, 0));
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
      if (committed.contains(upload.key)) {
        m_results[i] = {CommitOutcome::kDuplicate, 0};
        continue;
      }
      // A client with nothing in the window (a limit of 0) waits a whole one.
      Window& window = windows.try_emplace(upload.client, Window{0, m_now}).first->second;
      if (window.count >= std::int64_t{m_limit.uploads_per_client_per_hour}) {
        const UnixSeconds wait = std::clamp<UnixSeconds>(window.oldest + kHour - m_now, 1, kHour);
        m_results[i] = {CommitOutcome::kRateLimited, static_cast<std::uint32_t>(wait)};
        continue;
      }
      ++window.count;
      committed.insert(upload.key);
      m_results[i] = {CommitOutcome::kAccepted, 0};
      m_accepted.push_back(&upload);
    }
  }

  Calls InsertUploads() {
    ArrayLiteral keys, clients, items, bytes, versions, version_keys, positions;
    bool any_version = false;
    for (const FoldedUpload* upload : m_accepted) {
      keys.AddText(upload->key);
      clients.AddText(upload->client);
      items.AddInt(static_cast<std::int64_t>(upload->items.size()));
      bytes.AddInt(static_cast<std::int64_t>(upload->bytes));
      std::int64_t position = 0;
      for (const std::string& version : upload->product_versions) {
        versions.AddText(version);
        version_keys.AddText(upload->key);
        positions.AddInt(position++);
        any_version = true;
      }
    }
    Calls calls;
    calls.push_back({&kInsertUploads,
                     {std::move(keys).Finish(), std::move(clients).Finish(), Number(m_now),
                      std::move(items).Finish(), std::move(bytes).Finish()}});
    if (any_version) {
      calls.push_back({&kInsertUploadVersions,
                       {std::move(versions).Finish(), std::move(version_keys).Finish(),
                        std::move(positions).Finish()}});
    }
    return calls;
  }

  bool UploadsInserted(const QueryResult& inserted) {
    if (static_cast<std::size_t>(inserted.rows()) == m_accepted.size()) return true;
    // A key committed meanwhile by a writer that did not take its client's
    // lock: start again, and the next try finds it a duplicate.
    m_error = "an upload key was committed meanwhile";
    m_end = AttemptEnd::kRetry;
    return false;
  }

  Connection::Call ClientIds() {
    ArrayLiteral names;
    for (const FoldedUpload* upload : m_accepted) names.AddText(upload->client);
    return {&kClientIds, {std::move(names).Finish()}};
  }

  bool ReadClientIds(const QueryResult& ids) {
    std::unordered_map<std::string, std::int64_t> id_of;
    for (int row = 0; row < ids.rows(); ++row) id_of[ids.text(row, 1)] = ids.int64(row, 0);
    for (ItemTotal& total : m_totals) {
      for (const std::string* name : total.client_names) {
        const auto id = id_of.find(*name);
        if (id == id_of.end()) return Fail("a client came back without its id");
        total.clients.push_back(id->second);
      }
    }
    return true;
  }

  // The group's items summed, one row each, in key-hash order.
  std::vector<ItemTotal> Totals() {
    std::vector<ItemTotal> totals;
    std::unordered_map<std::string, std::size_t> index;
    for (const FoldedUpload* upload : m_accepted) {
      for (const FoldedItem& item : upload->items) {
        std::string hash = HashHex(item.key);
        const auto [at, fresh] = index.try_emplace(hash, totals.size());
        if (fresh) {
          totals.emplace_back();
          totals.back().hash = std::move(hash);
          totals.back().key = &item.key;
        }
        ItemTotal& total = totals[at->second];
        total.count += item.count;
        auto& names = total.client_names;
        if (std::find_if(names.begin(), names.end(), [&](const std::string* name) {
              return *name == upload->client;
            }) == names.end()) {
          names.push_back(&upload->client);
        }
      }
    }
    std::sort(totals.begin(), totals.end(),
              [](const ItemTotal& a, const ItemTotal& b) { return a.hash < b.hash; });
    m_by_hash.reserve(totals.size());
    return totals;
  }

  Connection::Call FindItems() {
    ArrayLiteral wanted;
    for (const ItemTotal& total : m_totals) wanted.AddText(total.hash);
    return {&kFindItems, {std::move(wanted).Finish()}};
  }

  bool ReadKnownItems(const QueryResult& found) {
    for (ItemTotal& total : m_totals) m_by_hash[total.hash] = &total;
    for (int row = 0; row < found.rows(); ++row) {
      const auto total = m_by_hash.find(found.text(row, 1));
      if (total == m_by_hash.end()) return Fail("an unknown item came back");
      total->second->id = found.int64(row, 0);
    }
    // An item that did not exist when looked up has only new clients: its
    // clients are under this group's locks, so none can have reported it.
    for (ItemTotal& total : m_totals) {
      if (total.id == 0) total.new_clients = static_cast<std::int64_t>(total.clients.size());
    }
    return true;
  }

  // The client pairs of the items known before (known) or made now.
  std::optional<Connection::Call> ItemClients(bool known) {
    ArrayLiteral items, clients;
    bool any = false;
    for (const ItemTotal& total : m_totals) {
      if (total.known != known) continue;
      for (std::int64_t client : total.clients) {
        items.AddInt(total.id);
        clients.AddInt(client);
        any = true;
      }
    }
    if (!any) return std::nullopt;
    return Connection::Call{&kAddItemClients,
                            {std::move(items).Finish(), std::move(clients).Finish()}};
  }

  // Each known item learns how many of its clients are new to it.
  bool AddClientsOfKnownItems() {
    for (ItemTotal& total : m_totals) total.known = total.id != 0;
    const auto call = ItemClients(true);
    if (!call) return true;
    QueryResult added = m_conn.Exec(*call->statement, call->params);
    if (!Check(added)) return false;
    std::unordered_map<std::int64_t, std::int64_t> fresh;
    for (int row = 0; row < added.rows(); ++row) ++fresh[added.int64(row, 0)];
    for (ItemTotal& total : m_totals) {
      if (total.known) total.new_clients = fresh[total.id];
    }
    return true;
  }

  bool UpsertItems() {
    ArrayLiteral hashes, products, kinds, codes, messages, values, dlls, apps, counts, news;
    for (const ItemTotal& total : m_totals) {
      hashes.AddText(total.hash);
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
      news.AddInt(total.new_clients);
    }
    QueryResult ids = m_conn.Exec(
        kUpsertItems,
        {std::move(hashes).Finish(), std::move(products).Finish(), std::move(kinds).Finish(),
         std::move(codes).Finish(), std::move(messages).Finish(), std::move(values).Finish(),
         std::move(dlls).Finish(), std::move(apps).Finish(), Number(m_now),
         std::move(counts).Finish(), std::move(news).Finish()});
    if (!Check(ids)) return false;
    for (int row = 0; row < ids.rows(); ++row) {
      const auto total = m_by_hash.find(ids.text(row, 1));
      if (total == m_by_hash.end()) return Fail("an unknown item came back");
      total->second->id = ids.int64(row, 0);
    }
    for (const ItemTotal& total : m_totals) {
      if (total.id == 0) return Fail("an item row came back without its id");
    }
    return true;
  }

  Connection::Call ItemDays() {
    ArrayLiteral items, counts;
    for (const ItemTotal& total : m_totals) {
      items.AddInt(total.id);
      counts.AddInt(static_cast<std::int64_t>(total.count));
    }
    return {&kAddItemDays, {Number(m_day), std::move(items).Finish(), std::move(counts).Finish()}};
  }

  std::optional<Connection::Call> Losses() {
    std::map<std::pair<int, std::string>, std::uint64_t> totals;
    for (const FoldedUpload* upload : m_accepted) {
      for (const LossRow& loss : upload->losses) {
        totals[{static_cast<int>(loss.cause), loss.product_ver}] += loss.records_lost;
      }
    }
    if (totals.empty()) return std::nullopt;
    ArrayLiteral causes, products, lost;
    for (const auto& [key, records] : totals) {
      causes.AddInt(key.first);
      products.AddText(key.second);
      lost.AddInt(static_cast<std::int64_t>(records));
    }
    return Connection::Call{&kAddLosses,
                            {Number(m_day), std::move(causes).Finish(),
                             std::move(products).Finish(), std::move(lost).Finish()}};
  }

  bool Fail(const char* why) {
    m_error = why;
    m_end = AttemptEnd::kFailed;
    return false;
  }

  Connection& m_conn;
  const std::vector<const FoldedUpload*>& m_uploads;
  const UnixSeconds m_now;
  const std::int64_t m_day;
  const RateLimit m_limit;
  std::vector<CommitResult> m_results;
  std::vector<const FoldedUpload*> m_accepted;
  std::vector<ItemTotal> m_totals;
  std::unordered_map<std::string, ItemTotal*> m_by_hash;  // into m_totals
  AttemptEnd m_end = AttemptEnd::kFailed;
  std::string m_error;
};

}  // namespace

std::vector<CommitResult> CommitGroupOn(Connection& conn, DayPartitions& partitions,
                                        const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit) {
  std::vector<CommitResult> results(
      uploads.size(), CommitResult{CommitOutcome::kUnavailable, kRetryAfterUnavailableSeconds});
  // A null entry is not an upload: it stays unavailable and takes no part.
  std::vector<const FoldedUpload*> present;
  std::vector<std::size_t> index_of;
  for (std::size_t i = 0; i < uploads.size(); ++i) {
    if (uploads[i] == nullptr) continue;
    present.push_back(uploads[i]);
    index_of.push_back(i);
  }
  if (present.empty()) return results;
  std::string error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!partitions.Ensure(conn, UtcDayNumber(now), &error)) break;
    GroupTransaction transaction(conn, present, now, limit);
    const AttemptEnd end = transaction.Run();
    if (end == AttemptEnd::kCommitted) {
      for (std::size_t i = 0; i < present.size(); ++i) {
        results[index_of[i]] = transaction.results()[i];
      }
      return results;
    }
    error = transaction.error();
    if (end == AttemptEnd::kMissingPartition) {
      partitions.Forget();
    } else if (end != AttemptEnd::kRetry) {
      break;
    }
  }
  // A lost server is the health check's news; anything else is worth a line.
  if (!conn.broken()) std::fprintf(stderr, "report-intake: postgresql store: %s\n", error.c_str());
  return results;
}

}  // namespace intake::pg
