#include "store/postgres/pg_day_partitions.h"

#include <cstdio>
#include <vector>

namespace intake::pg {
namespace {

// Advisory lock keys are shared by every node on one database.
constexpr const char* kLockPartitions = "SELECT pg_advisory_xact_lock(7368270400012)";
constexpr const char* kDayTables[] = {"item_days", "loss_days"};

// Civil date from a day number (proleptic Gregorian), after H. Hinnant.
void CivilFromDays(std::int64_t z, int* year, unsigned* month, unsigned* day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400) + (*month <= 2 ? 1 : 0);
}

std::string Format(std::int64_t day, const char* pattern) {
  int year = 0;
  unsigned month = 0, mday = 0;
  CivilFromDays(day, &year, &month, &mday);
  char text[32];
  std::snprintf(text, sizeof text, pattern, year, month, mday);
  return text;
}

std::string PartitionName(const char* table, std::int64_t day) {
  return std::string(table) + "_p" + Format(day, "%04d%02u%02u");
}

bool Fail(const QueryResult& result, std::string* error) {
  *error = result.message();
  return false;
}

}  // namespace

std::int64_t DayNumber(UnixSeconds time) {
  return time >= 0 ? time / 86400 : -((-time + 86399) / 86400);
}

std::string DayText(std::int64_t day) { return Format(day, "%04d-%02u-%02u"); }

bool DayPartitions::Ensure(Connection& conn, std::int64_t day, std::string* error) {
  std::lock_guard lock(m_mutex);
  if (m_known.contains(day) && m_known.contains(day + 1)) return true;
  QueryResult result = conn.Run("BEGIN");
  if (!result.ok()) return Fail(result, error);
  result = conn.Run(kLockPartitions);
  for (std::int64_t d = day; result.ok() && d <= day + 1; ++d) {
    for (const char* table : kDayTables) {
      const std::string sql = "CREATE TABLE IF NOT EXISTS " + PartitionName(table, d) +
                              " PARTITION OF " + table + " FOR VALUES FROM ('" + DayText(d) +
                              "') TO ('" + DayText(d + 1) + "')";
      result = conn.Run(sql.c_str());
      if (!result.ok()) break;
    }
  }
  if (result.ok()) result = conn.Run("COMMIT");
  if (!result.ok()) {
    conn.Run("ROLLBACK");
    return Fail(result, error);
  }
  m_known.insert(day);
  m_known.insert(day + 1);
  return true;
}

bool DayPartitions::DropBefore(Connection& conn, std::int64_t first_kept, std::string* error) {
  std::lock_guard lock(m_mutex);
  QueryResult result = conn.Run("BEGIN");
  if (!result.ok()) return Fail(result, error);
  result = conn.Run(kLockPartitions);
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
    const std::string prefix = std::string(table) + "_p";
    for (int row = 0; row < result.rows(); ++row) {
      const std::string name = result.text(row, 0);
      if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
      // Compare by name: "YYYYMMDD" sorts as the days do.
      if (name.substr(prefix.size()) < Format(first_kept, "%04d%02u%02u")) doomed.push_back(name);
    }
    for (const std::string& name : doomed) {
      result = conn.Run(("DROP TABLE " + name).c_str());
      if (!result.ok()) break;
    }
  }
  if (result.ok()) result = conn.Run("COMMIT");
  if (!result.ok()) {
    conn.Run("ROLLBACK");
    return Fail(result, error);
  }
  m_known.clear();
  return true;
}

void DayPartitions::Forget() {
  std::lock_guard lock(m_mutex);
  m_known.clear();
}

}  // namespace intake::pg
