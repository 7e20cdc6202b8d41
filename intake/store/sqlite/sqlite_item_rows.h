// What the SQLite reads of items share: an item row read into its summary.
#pragma once

#include "store/sqlite/sqlite_connection.h"
#include "store/store.h"

namespace intake {

// A row of id, product_ver, kind, error_code, message, value, dll_ver,
// app_ver, count, clients, first_seen, last_seen, in that order.
ItemSummary ReadItemSummary(const StatementUse& row);

}  // namespace intake
