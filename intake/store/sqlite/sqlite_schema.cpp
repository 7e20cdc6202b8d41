#include "store/sqlite/sqlite_schema.h"

#include <string>

namespace intake {
namespace {

// Version 1. The same tables, keys and types (BIGINT where SQLite says
// INTEGER) serve the PostgreSQL store.
//  - items: one row per distinct item key. key_hash is the SHA-256 of the
//    key's fields (store/item_key_hash.h): unique however long the message,
//    and "no value" (value NULL) is one value of the key like any other.
//  - clients: each client's id once, so that the largest table over time,
//    item_clients (who reported an item; items.clients counts its rows),
//    holds two integers a row.
//  - item_days: receipts per UTC day number (days since 1970-01-01).
//  - uploads: one row per accepted upload, keyed by its Idempotency-Key;
//    (client, received) serves the hourly rate check.
//  - upload_versions: the product versions of each upload, keyed by version
//    first, so uploads and clients per version are an index range.
//  - losses: records the clients could not keep, per cause, version and day.
constexpr char kVersion1[] = R"sql(
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version (version) VALUES (0);

CREATE TABLE items (
  id INTEGER PRIMARY KEY,
  key_hash BLOB NOT NULL UNIQUE,
  product_ver TEXT NOT NULL,
  kind TEXT NOT NULL,
  error_code INTEGER NOT NULL,
  message TEXT NOT NULL,
  value TEXT,
  dll_ver TEXT NOT NULL,
  app_ver TEXT NOT NULL,
  count INTEGER NOT NULL,
  clients INTEGER NOT NULL,
  first_seen INTEGER NOT NULL,
  last_seen INTEGER NOT NULL
);
CREATE INDEX items_by_product ON items (product_ver, kind);

CREATE TABLE clients (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);

CREATE TABLE item_clients (
  item_id INTEGER NOT NULL REFERENCES items (id),
  client_id INTEGER NOT NULL REFERENCES clients (id),
  PRIMARY KEY (item_id, client_id)
) WITHOUT ROWID;

CREATE TABLE item_days (
  item_id INTEGER NOT NULL REFERENCES items (id),
  day INTEGER NOT NULL,
  count INTEGER NOT NULL,
  PRIMARY KEY (item_id, day)
) WITHOUT ROWID;
CREATE INDEX item_days_by_day ON item_days (day);

CREATE TABLE uploads (
  key TEXT PRIMARY KEY,
  client TEXT NOT NULL,
  received INTEGER NOT NULL,
  items INTEGER NOT NULL,
  bytes INTEGER NOT NULL
) WITHOUT ROWID;
CREATE INDEX uploads_by_client ON uploads (client, received);
CREATE INDEX uploads_by_received ON uploads (received);

CREATE TABLE upload_versions (
  product_ver TEXT NOT NULL,
  upload_key TEXT NOT NULL REFERENCES uploads (key) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  PRIMARY KEY (product_ver, upload_key)
) WITHOUT ROWID;
CREATE INDEX upload_versions_by_upload ON upload_versions (upload_key, position);

CREATE TABLE losses (
  cause INTEGER NOT NULL,
  product_ver TEXT NOT NULL,
  day INTEGER NOT NULL,
  records_lost INTEGER NOT NULL,
  PRIMARY KEY (cause, product_ver, day)
) WITHOUT ROWID;
CREATE INDEX losses_by_product ON losses (product_ver, day);
)sql";

struct SchemaStep {
  int version;
  const char* sql;
};

// In order; step N takes a store at version N-1 to N.
constexpr SchemaStep kSteps[] = {
    {1, kVersion1},
};
static_assert(std::size(kSteps) == kSqliteSchemaVersion, "one step per version");

int CountUserTables(SqliteConnection& connection) {
  auto query = connection.Use("SELECT count(*) FROM sqlite_schema WHERE type = 'table'");
  return query.Step() ? static_cast<int>(query.Int(0)) : 0;
}

bool HasVersionTable(SqliteConnection& connection) {
  auto query = connection.Use(
      "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'schema_version'");
  return query.Step();
}

}  // namespace

int ReadSchemaVersion(SqliteConnection& connection) {
  if (!HasVersionTable(connection)) {
    if (CountUserTables(connection) != 0) throw SqliteError("the file is not an intake store");
    return 0;
  }
  auto query = connection.Use("SELECT version FROM schema_version");
  if (!query.Step()) throw SqliteError("the store's version row is missing");
  return static_cast<int>(query.Int(0));
}

void UpgradeSchema(SqliteConnection& connection, int target) {
  // The write lock first: two processes opening one old store upgrade it once.
  SqliteTransaction transaction(connection);
  int version = ReadSchemaVersion(connection);
  if (version > kSqliteSchemaVersion) {
    throw SqliteError("the store's schema version " + std::to_string(version) +
                      " is newer than this build's " + std::to_string(kSqliteSchemaVersion));
  }
  for (const auto& step : kSteps) {
    if (step.version <= version || step.version > target) continue;
    connection.Exec(step.sql);
    auto bump = connection.Use("UPDATE schema_version SET version = ?");
    bump.Bind(1, std::int64_t{step.version}).Run();
  }
  transaction.Commit();
}

}  // namespace intake
