// The SQLite store's second schema step: what the dashboard's pages read
// without walking the big tables. Summary tables are kept by triggers, so
// the commit's own transaction updates them with the rows they summarise;
// the step back-fills them from what an older store already holds.
#pragma once

namespace intake {

extern const char kSqliteDashboardStep[];

}  // namespace intake
