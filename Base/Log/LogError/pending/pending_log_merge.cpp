// The roll-over's append of the staged day's log to error.bf, in place: the
// pending log is never copied, so its cost is what the day logged. Crash-safe
// through the journal (append_journal.h), in this order:
//   1. the journal, flushed: error.bf's length before the append and after;
//   2. a torn tail or odd last byte of error.bf cut;
//   3. the day's records appended in one write (the merge's accounts after
//      them), flushed;
//   4. the commit: the staged file deleted;
//   5. the journal deleted.
// Dying before 4 leaves the records in the staged file, and recovery cuts
// error.bf back to step 1's length; dying after it leaves them in error.bf.
#include "pending_log.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Win/hresult_error.h"
#include "append_journal.h"
#include "format/log_format.h"
#include "format/log_merge_plan.h"
#include "storage/log_file_io.h"
#include "storage/log_tail_repair.h"
#include "storage/whole_file_view.h"

namespace suite {

namespace {

// A size that cannot be read counts as 0.
LONGLONG SizeOf(const LogFilePath& path) noexcept {
  LONGLONG size = 0;
  GetFileSize64(path.text, &size);
  return size;
}

// Where error.bf's kept bytes end, from its file header and its last bytes:
// the records before them are never read.
bool FindPendingEnd(HANDLE hPending, LogPendingEnd& end) noexcept {
  LONGLONG nSize = 0;
  if (!FileSizeOf(hPending, nSize)) return false;
  if (nSize < static_cast<LONGLONG>(kLogFileHeaderBytes)) {
    end = PendingEndAt(0, 0, false);
    return true;
  }
  LogFileHeader header;
  if (!SeekTo(hPending, 0) || !ReadExactly(hPending, &header, sizeof(header))) return false;
  const bool bKnown =
      IsKnownLogFileHeader(reinterpret_cast<const std::uint8_t*>(&header), sizeof(header));
  LONGLONG nWholeEnd = nSize;
  if (bKnown && !FindWholeRecordsEnd(hPending, nSize, nWholeEnd)) return false;
  end = PendingEndAt(static_cast<std::size_t>(nSize), static_cast<std::size_t>(nWholeEnd), bKnown);
  return true;
}

// The merge's own accounts: torn tails it cut, and records it had no room for.
std::vector<std::uint8_t> MergeAccounts(const LogMergePlan& plan,
                                        const LogAccountIdentity& identity) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogTime time;
  static_assert(sizeof(now) == sizeof(time));
  std::memcpy(&time, &now, sizeof(time));
  std::vector<std::uint8_t> block;
  if (plan.NeedsTornAccount()) {
    block =
        LogAccountRecord(identity, LogAccountCause::TornRecord, CountText(plan.nTornBytes), time);
  }
  if (plan.NeedsLeftOutAccount()) {
    const std::vector<std::uint8_t> account =
        LogAccountRecord(identity, LogAccountCause::PendingFull,
                         LeftOutText(plan.nRecordsLeftOut, plan.nBytesLeftOut), time);
    block.insert(block.end(), account.begin(), account.end());
  }
  return block;
}

struct AppendedBytes {
  const std::uint8_t* pData = nullptr;
  std::size_t nBytes = 0;
};

// What the plan appends, in one block: the day's records as they lie in the
// staged file when they are one span, as they mostly are; otherwise gathered
// into a block of their own, after a fresh file header when error.bf has
// none. Empty when that block cannot be had.
AppendedBytes GatherAppended(const LogMergePlan& plan, const std::uint8_t* pStaged,
                             std::unique_ptr<std::uint8_t[]>& gathered) noexcept {
  if (!plan.bFreshHeader && plan.staged.size() == 1) {
    return {pStaged + plan.staged.front().nOffset, plan.staged.front().nBytes};
  }
  std::size_t nBytes = plan.bFreshHeader ? kLogFileHeaderBytes : 0;
  for (const LogByteSpan& span : plan.staged) nBytes += span.nBytes;
  gathered.reset(new (std::nothrow) std::uint8_t[nBytes]);
  if (!gathered) return {};
  std::size_t nAt = 0;
  if (plan.bFreshHeader) {
    std::memcpy(gathered.get(), &kLogFileHeader, kLogFileHeaderBytes);
    nAt = kLogFileHeaderBytes;
  }
  for (const LogByteSpan& span : plan.staged) {
    std::memcpy(gathered.get() + nAt, pStaged + span.nOffset, span.nBytes);
    nAt += span.nBytes;
  }
  return {gathered.get(), nAt};
}

// Steps 2 and 3; on failure error.bf is cut back, and if even that fails the
// journal stays for recovery to do it.
bool AppendAt(HANDLE hPending, const LogAppendJournal& journal, const AppendedBytes& records,
              const std::vector<std::uint8_t>& accounts) noexcept {
  const auto nBase = static_cast<LONGLONG>(journal.nBase);
  return TruncateAt(hPending, nBase) && WriteExactly(hPending, records.pData, records.nBytes) &&
         WriteExactly(hPending, accounts.data(), accounts.size()) && FlushFile(hPending);
}

bool CutBack(HANDLE hPending, const LogAppendJournal& journal) noexcept {
  return TruncateAt(hPending, static_cast<LONGLONG>(journal.nBase)) && FlushFile(hPending);
}

}  // namespace

void MergeStagedIntoPending(const PendingLogFiles& files,
                            const LogAccountIdentity& identity) noexcept {
  const LONGLONG nStaged = SizeOf(files.staged);
  // Without room for a single record: nothing to merge.
  if (nStaged <= static_cast<LONGLONG>(kLogFileHeaderBytes)) {
    DeleteLogFile(files.staged.text);
    return;
  }
  if (!LogFileExists(files.pending) && nStaged <= kLogRolloverCap) {
    // One rename: the records are under one name or the other, header and all.
    MoveLogFile(files.staged.text, files.pending.text);
    return;
  }

  WholeFileView staged;
  if (!staged.Open(files.staged.text, kLogReadableBytes) || staged.size() <= kLogFileHeaderBytes)
    return;
  // Held alone until the journal is gone: a report being read keeps the
  // append out (and waits for the next roll-over), and no reader opens
  // error.bf while its end is changing.
  UniqueFileHandle pending =
      OpenLogFile(files.pending.text, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
  LogPendingEnd end;
  if (!pending || !FindPendingEnd(pending.get(), end)) return;
  LogMergePlan waiting;
  waiting.bWait = true;
  const LogMergePlan plan = CatchValue(waiting, [&] {
    return PlanLogMerge(end, staged.data(), staged.size(), LogAccountRecordMaxBytes(identity));
  });
  // Not even the accounts fit beside error.bf: the records wait for a report
  // to make room, and nothing is lost.
  if (plan.bWait) return;
  const std::vector<std::uint8_t> accounts =
      CatchValue(std::vector<std::uint8_t>(), [&] { return MergeAccounts(plan, identity); });
  if (accounts.empty() && (plan.NeedsTornAccount() || plan.NeedsLeftOutAccount())) return;

  std::unique_ptr<std::uint8_t[]> gathered;
  const AppendedBytes records = GatherAppended(plan, staged.data(), gathered);
  if (records.pData == nullptr) return;
  LogAppendJournal journal;
  journal.nBase = plan.bFreshHeader ? 0 : plan.nPendingKept;
  journal.nEnd = journal.nBase + records.nBytes + accounts.size();
  if (!WriteAppendJournal(files.journal, journal)) {
    DeleteLogFile(files.journal.text);
    return;
  }
  const bool bAppended = AppendAt(pending.get(), journal, records, accounts);
  staged.Close();
  if (!bAppended || !DeleteLogFile(files.staged.text)) {
    if (CutBack(pending.get(), journal)) DeleteLogFile(files.journal.text);
    return;
  }
  DeleteLogFile(files.journal.text);  // committed; left behind, the next settle drops it
}

}  // namespace suite
