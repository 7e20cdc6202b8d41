// The store's tables on PostgreSQL: the same tables, constraints and
// version numbers as on SQLite, made or upgraded in numbered steps.
#pragma once

#include <string>

#include "store/postgres/pg_connection.h"

namespace intake::pg {

// The version this build writes.
int CurrentSchemaVersion();

// Brings the database to the current version, one step per transaction.
// Nodes that start together take turns under an advisory lock, so the
// first upgrades and the others find the work done. False with the reason
// when a step fails, or the database was made by a newer build.
bool UpgradeSchema(Connection& conn, std::string* error);

// The version the database holds now (0: none of our tables); -1 on error.
int StoredSchemaVersion(Connection& conn, std::string* error);

}  // namespace intake::pg
