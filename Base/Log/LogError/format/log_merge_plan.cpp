#include "log_merge_plan.h"

#include "log_accounts.h"
#include "log_record_walk.h"
#include "log_whole_records.h"

namespace suite {

namespace {

constexpr std::size_t kDataStart = kLogFileHeaderBytes;

// A stretch of the day's log in file order: a record, an account, or bytes
// the walk skipped as damage between records.
struct StagedItem {
  LogByteSpan span;
  bool bRecord = false;
  bool bAccount = false;
};

std::vector<StagedItem> StagedItems(const std::uint8_t* pStaged, std::size_t nEnd) {
  std::vector<StagedItem> items;
  LogRecordWalk walk(pStaged, nEnd);
  LogRecordView record;
  std::size_t nAt = kDataStart;
  for (LogWalkStep step; (step = walk.Next(record)) != LogWalkStep::End;) {
    const bool bRecord = step == LogWalkStep::Record;
    const std::size_t nOffset = bRecord ? record.nOffset : walk.SkippedSpan().nOffset;
    const std::size_t nBytes = bRecord ? record.nBytes : walk.SkippedSpan().nBytes;
    // The file header's bytes never travel; whatever follows them does.
    if (nOffset + nBytes <= nAt) continue;
    const std::size_t nStart = nOffset < nAt ? nAt : nOffset;
    const bool bWhole = bRecord && nStart == nOffset;
    items.push_back({{nStart, nOffset + nBytes - nStart},
                     bWhole,
                     bWhole && LogAccountCauseOf(record).has_value()});
    nAt = nOffset + nBytes;
  }
  // A file header of another kind hides its records: the bytes go as they are.
  if (nAt < nEnd) items.push_back({{nAt, nEnd - nAt}, false, false});
  return items;
}

void Append(std::vector<LogByteSpan>& spans, LogByteSpan span) {
  if (span.nBytes == 0) return;
  if (!spans.empty() && spans.back().nOffset + spans.back().nBytes == span.nOffset) {
    spans.back().nBytes += span.nBytes;
  } else {
    spans.push_back(span);
  }
}

}  // namespace

LogPendingEnd PendingEndAt(std::size_t nSize, std::size_t nWholeEnd, bool bKnownHeader) {
  LogPendingEnd end;
  // Too short for a file header, the pending log is as good as empty.
  if (nSize < kLogFileHeaderBytes) {
    end.bFreshHeader = true;
    end.nKept = kLogFileHeaderBytes;
  } else if (bKnownHeader) {
    end.nKept = EvenEnd(nWholeEnd);
    if (nWholeEnd < nSize) end.nTorn = nSize - end.nKept;
  } else {
    end.nKept = nSize;
  }
  return end;
}

LogPendingEnd PendingEndOf(const std::uint8_t* pPending, std::size_t nPending) {
  if (pPending == nullptr || nPending < kLogFileHeaderBytes) return PendingEndAt(0, 0, false);
  const bool bKnown = IsKnownLogFileHeader(pPending, nPending);
  return PendingEndAt(nPending, bKnown ? WholeRecordsEnd(pPending, nPending) : nPending, bKnown);
}

LogMergePlan PlanLogMerge(const std::uint8_t* pPending, std::size_t nPending,
                          const std::uint8_t* pStaged, std::size_t nStaged,
                          std::size_t nAccountBytes, std::int64_t nCap) {
  return PlanLogMerge(PendingEndOf(pPending, nPending), pStaged, nStaged, nAccountBytes, nCap);
}

std::optional<LogMergePlan> PlanWholeDayMerge(const LogPendingEnd& end, std::size_t nStagedEnd,
                                              std::size_t nStagedTorn, std::size_t nAccountBytes,
                                              std::int64_t nCap) {
  LogMergePlan plan;
  plan.bFreshHeader = end.bFreshHeader;
  plan.nPendingKept = end.nKept;
  plan.nTornBytes = end.nTorn + nStagedTorn;
  if (nStagedEnd < kDataStart) nStagedEnd = kDataStart;
  const std::int64_t nTornAccount = plan.NeedsTornAccount() ? nAccountBytes : 0;
  const auto nKept = static_cast<std::int64_t>(plan.nPendingKept);
  const auto nDay = static_cast<std::int64_t>(nStagedEnd - kDataStart);
  if (nKept + nDay + nTornAccount > nCap) return std::nullopt;
  Append(plan.staged, {kDataStart, nStagedEnd - kDataStart});
  return plan;
}

LogMergePlan PlanLogMerge(const LogPendingEnd& end, const std::uint8_t* pStaged,
                          std::size_t nStaged, std::size_t nAccountBytes, std::int64_t nCap) {
  std::size_t nStagedEnd = kDataStart;
  std::size_t nStagedTorn = 0;
  if (pStaged != nullptr && nStaged > kDataStart) {
    const std::size_t nWhole = WholeRecordsEndFromTail(pStaged, nStaged);
    nStagedEnd = EvenEnd(nWhole);
    if (nWhole < nStaged) nStagedTorn = nStaged - nStagedEnd;
  }
  if (std::optional<LogMergePlan> whole =
          PlanWholeDayMerge(end, nStagedEnd, nStagedTorn, nAccountBytes, nCap)) {
    return *whole;
  }
  LogMergePlan plan;
  plan.bFreshHeader = end.bFreshHeader;
  plan.nPendingKept = end.nKept;
  plan.nTornBytes = end.nTorn + nStagedTorn;
  const std::int64_t nTornAccount = plan.NeedsTornAccount() ? nAccountBytes : 0;
  const auto nKept = static_cast<std::int64_t>(plan.nPendingKept);

  const std::vector<StagedItem> items = StagedItems(pStaged, nStagedEnd);
  std::int64_t nAccounts = 0;
  for (const StagedItem& item : items) {
    if (item.bAccount) nAccounts += static_cast<std::int64_t>(item.span.nBytes);
  }
  // Every account of the day stays, and the merge's own two fit behind them.
  const std::int64_t nBudget =
      nCap - nKept - nAccounts - nTornAccount - static_cast<std::int64_t>(nAccountBytes);
  if (nBudget < 0) {
    plan = LogMergePlan{};
    plan.bWait = true;
    return plan;
  }
  std::int64_t nUsed = 0;
  bool bOpen = true;
  for (const StagedItem& item : items) {
    const auto nBytes = static_cast<std::int64_t>(item.span.nBytes);
    if (item.bAccount) {
      Append(plan.staged, item.span);
    } else if (bOpen && nUsed + nBytes <= nBudget) {
      nUsed += nBytes;
      Append(plan.staged, item.span);
    } else {
      // The earliest records are kept: once one does not fit, none after it does.
      bOpen = false;
      if (item.bRecord) ++plan.nRecordsLeftOut;
      plan.nBytesLeftOut += item.span.nBytes;
    }
  }
  return plan;
}

}  // namespace suite
