// The SQLite store's schema: numbered steps, each taking a store from the
// version before it to its own. A store made by an older build is upgraded in
// place when it is opened, all its steps and the version bump in one
// transaction, so a crash mid-upgrade leaves the old store as it was.
#pragma once

#include "store/sqlite/sqlite_connection.h"

namespace intake {

// The version this build writes. A new step appends here and in the table of
// steps in sqlite_schema.cpp; a step never changes once released.
inline constexpr int kSqliteSchemaVersion = 1;

// The store's version; 0 for a file with no tables yet.
int ReadSchemaVersion(SqliteConnection& connection);

// Runs the steps after the store's version up to `target`. Refuses (throws)
// a store newer than this build, and a file that holds tables but no
// version: it is not a store, and writing into it could damage it.
void UpgradeSchema(SqliteConnection& connection, int target = kSqliteSchemaVersion);

}  // namespace intake
