// The store's tables on PostgreSQL: the same tables, constraints and
// version numbers as on SQLite, made or upgraded in numbered steps.
#pragma once

#include <string>

#include "store/postgres/pg_connection.h"

namespace intake::pg {

// The version this build writes.
int CurrentSchemaVersion();

// Brings the database to `target` (the current version unless a test asks
// for an older one), one step per transaction. Nodes that start together
// take turns under an advisory lock, so the first upgrades and the others
// find the work done. False with the reason when a step fails, the database
// was made by a newer build, or it holds our tables without a version.
bool UpgradeSchema(Connection& conn, int target, std::string* error);

// The version the database holds now (0: none of our tables); -1 on error.
int StoredSchemaVersion(Connection& conn, std::string* error);

}  // namespace intake::pg
