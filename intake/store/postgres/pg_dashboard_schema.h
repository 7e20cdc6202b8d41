// The PostgreSQL store's second schema step: what the dashboard's pages read
// without walking the big tables, kept by statement triggers in the commit's
// own transaction and back-filled from an older store's rows.
#pragma once

#include <string>

#include "store/postgres/pg_connection.h"

namespace intake::pg {

extern const char kDashboardStep[];

// Folds version_deltas into one row per version and day. Run at start and
// with each prune; readers see the same sums before and after.
bool CompactVersionDeltas(Connection& conn);

}  // namespace intake::pg
