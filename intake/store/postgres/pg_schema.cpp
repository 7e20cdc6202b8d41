#include "store/postgres/pg_schema.h"

#include <iterator>
#include <string>

namespace intake::pg {
namespace {

// Every node takes this session lock while it looks at the version.
constexpr const char* kLockSchema = "SELECT pg_advisory_lock(7368270400011)";
constexpr const char* kUnlockSchema = "SELECT pg_advisory_unlock(7368270400011)";

struct Step {
  int version;
  const char* sql;
};

// Step n takes a version n-1 database to version n. Never edit a step that
// has shipped: add one.
constexpr Step kSteps[] = {
    {1,
     "CREATE TABLE schema_version (version integer NOT NULL);"
     "INSERT INTO schema_version VALUES (0);"
     // One row per accepted upload; the key's uniqueness is what makes a
     // retry, on any node, a duplicate.
     "CREATE TABLE uploads ("
     "  key text PRIMARY KEY,"
     "  client text NOT NULL,"
     "  received bigint NOT NULL,"
     "  items bigint NOT NULL,"
     "  bytes bigint NOT NULL,"
     "  product_versions text[] NOT NULL);"
     "CREATE INDEX uploads_by_client ON uploads (client, received);"
     "CREATE INDEX uploads_by_received ON uploads (received);"
     // One row per distinct item across clients.
     "CREATE TABLE items ("
     "  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
     "  digest bytea NOT NULL UNIQUE,"
     "  product_ver text NOT NULL,"
     "  kind text NOT NULL,"
     "  error_code integer NOT NULL,"
     "  message text NOT NULL,"
     "  value text,"
     "  dll_ver text NOT NULL,"
     "  app_ver text NOT NULL,"
     "  count bigint NOT NULL CHECK (count >= 0),"
     "  clients bigint NOT NULL CHECK (clients >= 0),"
     "  first_seen bigint NOT NULL,"
     "  last_seen bigint NOT NULL);"
     "CREATE INDEX items_by_product ON items (product_ver);"
     "CREATE TABLE item_clients ("
     "  item_id bigint NOT NULL REFERENCES items (id),"
     "  client text NOT NULL,"
     "  PRIMARY KEY (item_id, client));"
     "CREATE TABLE item_days ("
     "  day date NOT NULL,"
     "  item_id bigint NOT NULL REFERENCES items (id),"
     "  count bigint NOT NULL CHECK (count >= 0),"
     "  PRIMARY KEY (item_id, day)) PARTITION BY RANGE (day);"
     "CREATE TABLE loss_days ("
     "  day date NOT NULL,"
     "  cause integer NOT NULL,"
     "  product_ver text NOT NULL,"
     "  records_lost bigint NOT NULL CHECK (records_lost >= 0),"
     "  PRIMARY KEY (cause, product_ver, day)) PARTITION BY RANGE (day);"},
};

}  // namespace

int CurrentSchemaVersion() { return std::prev(std::end(kSteps))->version; }

int StoredSchemaVersion(Connection& conn, std::string* error) {
  QueryResult exists = conn.Run("SELECT to_regclass('schema_version') IS NOT NULL");
  if (!exists.ok()) {
    *error = exists.message();
    return -1;
  }
  if (exists.text(0, 0) != "t") return 0;
  QueryResult version = conn.Run("SELECT version FROM schema_version");
  if (!version.ok() || version.rows() != 1) {
    *error = version.ok() ? "schema_version holds no single row" : version.message();
    return -1;
  }
  return static_cast<int>(version.int64(0, 0));
}

bool UpgradeSchema(Connection& conn, std::string* error) {
  QueryResult result = conn.Run(kLockSchema);
  if (!result.ok()) {
    *error = result.message();
    return false;
  }
  bool ok = true;
  int stored = StoredSchemaVersion(conn, error);
  if (stored < 0) {
    ok = false;
  } else if (stored > CurrentSchemaVersion()) {
    *error = "the database holds schema version " + std::to_string(stored) +
             ", newer than this build's " + std::to_string(CurrentSchemaVersion());
    ok = false;
  }
  for (const Step& step : kSteps) {
    if (!ok) break;
    if (step.version <= stored) continue;
    // A step and its version number commit together, or not at all.
    const std::string sql = std::string("BEGIN;") + step.sql +
                            "UPDATE schema_version SET version = " + std::to_string(step.version) +
                            ";COMMIT";
    result = conn.Run(sql.c_str());
    if (!result.ok()) {
      *error = "schema step " + std::to_string(step.version) + ": " + result.message();
      conn.Run("ROLLBACK");
      ok = false;
    }
  }
  conn.Run(kUnlockSchema);
  return ok;
}

}  // namespace intake::pg
