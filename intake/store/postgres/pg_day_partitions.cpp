#include "store/postgres/pg_day_partitions.h"

#include <vector>

#include "store/utc_day.h"

namespace intake::pg {
namespace {

// Advisory lock keys are shared by every node on one database.
constexpr const char* kLockPartitions = "SELECT pg_advisory_xact_lock(7368270400012)";
constexpr const char* kDayTables[] = {"item_days", "losses"};
// A partition is named by its day, "item_days_p20240131", so an operator
// sees what it holds; the day's number is its bound.
constexpr const char* kPartitionInfix = "_p";

std::string Compact(std::int64_t day) {
  std::string text = UtcDayText(day);
  std::erase(text, '-');
  return text;
}

std::string PartitionName(const char* table, std::int64_t day) {
  return table + std::string(kPartitionInfix) + Compact(day);
}

bool Fail(Connection& conn, const QueryResult& result, std::string* error) {
  *error = result.message();
  if (!conn.broken()) conn.Run("ROLLBACK");
  return false;
}

}  // namespace

bool DayPartitions::Ensure(Connection& conn, std::int64_t day, std::string* error) {
  std::lock_guard lock(m_mutex);
  if (m_known.contains(day) && m_known.contains(day + 1)) return true;
  QueryResult result = conn.Run("BEGIN");
  if (!result.ok()) return Fail(conn, result, error);
  result = conn.Run(kLockPartitions);
  for (std::int64_t d = day; result.ok() && d <= day + 1; ++d) {
    for (const char* table : kDayTables) {
      const std::string sql = "CREATE TABLE IF NOT EXISTS " + PartitionName(table, d) +
                              " PARTITION OF " + table + " FOR VALUES FROM (" + std::to_string(d) +
                              ") TO (" + std::to_string(d + 1) + ") WITH (fillfactor = 70)";
      result = conn.Run(sql.c_str());
      if (!result.ok()) break;
    }
  }
  if (result.ok()) result = conn.Run("COMMIT");
  if (!result.ok()) return Fail(conn, result, error);
  m_known.insert(day);
  m_known.insert(day + 1);
  return true;
}

bool DayPartitions::DropBefore(Connection& conn, std::int64_t first_kept, std::string* error) {
  std::lock_guard lock(m_mutex);
  QueryResult result = conn.Run("BEGIN");
  if (!result.ok()) return Fail(conn, result, error);
  result = conn.Run(kLockPartitions);
  const std::string first_name = Compact(first_kept);
  for (const char* table : kDayTables) {
    if (!result.ok()) break;
    const std::string list =
        std::string(
            "SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid "
            "WHERE i.inhparent = '") +
        table + "'::regclass";
    result = conn.Run(list.c_str());
    if (!result.ok()) break;
    std::vector<std::string> doomed;
    const std::string prefix = table + std::string(kPartitionInfix);
    for (int row = 0; row < result.rows(); ++row) {
      const std::string name = result.text(row, 0);
      if (name.size() != prefix.size() + first_name.size() || !name.starts_with(prefix)) continue;
      // "YYYYMMDD" sorts as the days do.
      if (name.substr(prefix.size()) < first_name) doomed.push_back(name);
    }
    for (const std::string& name : doomed) {
      result = conn.Run(("DROP TABLE " + name).c_str());
      if (!result.ok()) break;
    }
  }
  if (result.ok()) result = conn.Run("COMMIT");
  if (!result.ok()) return Fail(conn, result, error);
  m_known.clear();
  return true;
}

void DayPartitions::Forget() {
  std::lock_guard lock(m_mutex);
  m_known.clear();
}

}  // namespace intake::pg
