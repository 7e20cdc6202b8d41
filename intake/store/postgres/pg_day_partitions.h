// The day rows (item_days, losses) live in one partition per UTC day
// number. Partitions are made a day ahead, in a short transaction of their
// own, so that a commit seldom waits on the lock that making one takes;
// retention drops whole partitions instead of deleting rows.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "store/postgres/pg_connection.h"

namespace intake::pg {

class DayPartitions {
 public:
  // Makes the partitions of `day` and the day after exist. Nodes making
  // them at the same moment take turns under an advisory lock.
  bool Ensure(Connection& conn, std::int64_t day, std::string* error);
  // Drops the partitions of every day before first_kept.
  bool DropBefore(Connection& conn, std::int64_t first_kept, std::string* error);
  // Forgets what this process knows: another node may have dropped some.
  void Forget();

 private:
  std::mutex m_mutex;
  std::set<std::int64_t> m_known;
};

}  // namespace intake::pg
