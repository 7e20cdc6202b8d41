// What the storm run checks in the log files: the day's log once its writers
// have ended, and the pending log after the roll-over that merged it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "log_file_walk.h"

namespace stress {

using namespace suite;

// Calls that returned, by writer process and thread.
using ThreadCalls = std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t>;

struct DayLogFigures {
  std::size_t nRecords = 0;   // ordinary records
  std::size_t nAccounts = 0;  // account records
  bool bCapAccount = false;   // the day's log reached its cap
  std::uint64_t nNotKept = 0;
  std::uint64_t nLastRecordEnd = 0;  // where its last ordinary record ends
};

// The day's log as the writers left it: no damage, within the cap, ordinary
// records below the accounts' reserve and none after the cap account, each
// writer thread's earliest records in order with no gap, and its records
// plus what its accounts say was not kept equal to the calls made. Prints
// its faults.
bool CheckDayLog(const WalkedFile& day, const ThreadCalls& calls, DayLogFigures& figures);

struct MergedLogFigures {
  std::size_t nPending = 0;      // the pending log's records, first
  std::size_t nDayKept = 0;      // the day's ordinary records after them
  std::size_t nDayLeftOut = 0;   // the day's ordinary records not there
  std::size_t nDayAccounts = 0;  // the day's accounts, all kept
  std::size_t nMergeAccounts = 0;
  std::uint64_t nLeftOutAccounted = 0;  // what the merge's accounts say it left out
};

// The pending log after the roll-over: no damage, within the cap, every
// record of `pending` first, then the day's log with its ordinary records
// cut after its earliest ones and its accounts all kept, then the merge's
// own accounts, which count exactly the records it left out. Prints its
// faults.
bool CheckMergedLog(const WalkedFile& pending, const WalkedFile& day, const WalkedFile& merged,
                    MergedLogFigures& figures);

}  // namespace stress
