// What a roll-over brings from a day's log into the pending log, within
// kLogRolloverCap. The pending log is kept whole; of the day's log, every
// record when all fit, else its earliest whole records that fit, and every
// account record it holds, whatever its place. What is left out is counted
// for the merge's own account, and torn tails cut from either log for
// another. Platform-neutral: the roll-over writes what the plan says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "log_format.h"

namespace suite {

struct LogByteSpan {
  std::size_t nOffset = 0;
  std::size_t nBytes = 0;
};

struct LogMergePlan {
  // Not even the day's accounts and the merge's own fit beside the pending
  // log: nothing is merged, and the day's log waits for room.
  bool bWait = false;
  // The pending log is shorter than its file header (or missing): a fresh
  // header starts the merged file in its place.
  bool bFreshHeader = false;
  std::size_t nPendingKept = 0;     // the pending log's bytes kept, from its start
  std::vector<LogByteSpan> staged;  // the day's log's bytes appended, in order
  std::uint64_t nTornBytes = 0;     // torn tails cut from the end of either log
  std::uint64_t nRecordsLeftOut = 0;
  std::uint64_t nBytesLeftOut = 0;  // the records left out, and damage between them

  bool NeedsTornAccount() const { return nTornBytes != 0; }
  bool NeedsLeftOutAccount() const { return nRecordsLeftOut != 0 || nBytesLeftOut != 0; }
};

// Where the pending log's kept bytes end: its whole records (the merge cuts
// a torn tail and an odd last byte), or a fresh file header in place of a
// file too short for one.
struct LogPendingEnd {
  bool bFreshHeader = false;
  std::size_t nKept = 0;    // bytes kept from the start, a fresh header's included
  std::uint64_t nTorn = 0;  // bytes cut from its end
};

// From what the file showed: its size, where its whole records end
// (WholeRecordsEnd, or its size when its last bytes end on a whole record),
// and whether its file header is this format's (a header of another kind is
// kept as it is, bytes and all).
LogPendingEnd PendingEndAt(std::size_t nSize, std::size_t nWholeEnd, bool bKnownHeader);
// The same from a whole file's bytes (or null with 0 bytes when there is none).
LogPendingEnd PendingEndOf(const std::uint8_t* pPending, std::size_t nPending);

// `end` is the pending log's; `pStaged` is a whole file, 2-byte aligned. `nAccountBytes` is the
// most one account of the merge takes (LogAccountRecordMaxBytes). Unless the plan waits, the merged
// file with the accounts it asks for holds at most `nCap` bytes.
LogMergePlan PlanLogMerge(const LogPendingEnd& end, const std::uint8_t* pStaged,
                          std::size_t nStaged, std::size_t nAccountBytes,
                          std::int64_t nCap = kLogRolloverCap);
// The plan when the day's records, which end whole at `nStagedEnd` bytes of
// the day's log after `nStagedTorn` bytes were found torn behind them, all
// fit: one span behind its file header. None when they do not, and only
// PlanLogMerge over the day's bytes can tell which records go.
std::optional<LogMergePlan> PlanWholeDayMerge(const LogPendingEnd& end, std::size_t nStagedEnd,
                                              std::size_t nStagedTorn, std::size_t nAccountBytes,
                                              std::int64_t nCap = kLogRolloverCap);
// The same with the pending log's whole bytes at hand.
LogMergePlan PlanLogMerge(const std::uint8_t* pPending, std::size_t nPending,
                          const std::uint8_t* pStaged, std::size_t nStaged,
                          std::size_t nAccountBytes, std::int64_t nCap = kLogRolloverCap);

}  // namespace suite
