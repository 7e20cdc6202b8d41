// What the SQLite reads of items share: the column of each sort, the LIKE
// pattern of a text filter, and an item row read into its summary.
#pragma once

#include <string>

#include "store/sqlite/sqlite_connection.h"
#include "store/store.h"

namespace intake {

// The items column each sort orders by, most first.
const char* SqliteSortColumn(ItemSort sort);

// The text filter matches itself, not LIKE's wildcards (escaped with '\').
std::string SqliteLikePattern(const std::string& text);

// A row of id, product_ver, kind, error_code, message, value, dll_ver,
// app_ver, count, clients, first_seen, last_seen, in that order.
ItemSummary ReadItemSummary(const StatementUse& row);

}  // namespace intake
