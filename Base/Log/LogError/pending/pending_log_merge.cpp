// The roll-over's append of the staged day's log to error.bf, in place: the
// pending log is never copied, so its cost is what the day logged. The
// staged file is read a buffer at a time (staged_log_reader.h), never
// mapped. Crash-safe through the journal (append_journal.h), in this order:
//   1. the journal, flushed: error.bf's length before the append and after,
//      and the staged file's size and check;
//   2. a torn tail or odd last byte of error.bf cut;
//   3. the day's records appended in order (the merge's accounts after
//      them), flushed;
//   4. the commit: the staged file deleted;
//   5. the journal deleted.
// Dying before 4 leaves the records in the staged file, and recovery cuts
// error.bf back to step 1's length; dying after it leaves them in error.bf.
#include "pending_log.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <vector>

#include "Win/hresult_error.h"
#include "append_journal.h"
#include "format/log_format.h"
#include "format/log_merge_plan.h"
#include "format/log_whole_records.h"
#include "storage/log_file_io.h"
#include "storage/log_tail_repair.h"
#include "storage/staged_log_reader.h"

namespace suite {

namespace {

// Where error.bf's kept bytes end, from its file header and its last bytes:
// the records before them are never read.
bool FindPendingEnd(HANDLE hPending, LogPendingEnd& end) noexcept {
  LONGLONG nSize = 0;
  // Larger than the library reads, it is left as it is, and the day waits.
  if (!FileSizeOf(hPending, nSize) || nSize > kLogReadableBytes) return false;
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

// The plan from the staged file's last bytes when they end on a whole record
// and all of it fits, as a day's log mostly does; from all its bytes, read
// into a block for the walk and let go before the append, otherwise.
LogMergePlan PlanFor(const LogPendingEnd& end, StagedLogReader& staged, std::size_t nAccountBytes) {
  LogMergePlan waiting;
  waiting.bWait = true;
  const auto nSize = static_cast<std::size_t>(staged.size());
  const std::size_t nTailStart = LogTailStart(nSize);
  const std::uint8_t* pTail = staged.ReadAt(nTailStart, nSize - nTailStart);
  if (pTail == nullptr) return waiting;
  if (EndsWithWholeRecord(pTail, nSize - nTailStart)) {
    if (std::optional<LogMergePlan> plan = PlanWholeDayMerge(end, nSize, 0, nAccountBytes)) {
      return *plan;
    }
  }
  FileBytes bytes;
  if (!staged.ReadWhole(bytes)) return waiting;
  return PlanLogMerge(end, bytes.data.get(), bytes.size, nAccountBytes);
}

std::uint64_t AppendedBytesOf(const LogMergePlan& plan) noexcept {
  std::uint64_t nBytes = plan.bFreshHeader ? kLogFileHeaderBytes : 0;
  for (const LogByteSpan& span : plan.staged) nBytes += span.nBytes;
  return nBytes;
}

// Steps 2 and 3: the plan's spans of the staged file, after a fresh file
// header when error.bf has none. On failure error.bf is cut back, and if even
// that fails the journal stays for recovery to do it.
bool AppendAt(HANDLE hPending, const LogAppendJournal& journal, const LogMergePlan& plan,
              StagedLogReader& staged, const std::vector<std::uint8_t>& accounts) noexcept {
  if (!TruncateAt(hPending, static_cast<LONGLONG>(journal.nBase))) return false;
  if (plan.bFreshHeader && !WriteExactly(hPending, &kLogFileHeader, kLogFileHeaderBytes)) {
    return false;
  }
  for (const LogByteSpan& span : plan.staged) {
    if (!staged.CopyTo(hPending, span.nOffset, span.nBytes)) return false;
  }
  return WriteExactly(hPending, accounts.data(), accounts.size()) && FlushFile(hPending);
}

bool CutBack(HANDLE hPending, const LogAppendJournal& journal) noexcept {
  return TruncateAt(hPending, static_cast<LONGLONG>(journal.nBase)) && FlushFile(hPending);
}

}  // namespace

void MergeStagedIntoPending(const PendingLogFiles& files,
                            const LogAccountIdentity& identity) noexcept {
  LONGLONG nStaged = 0;
  // A size that cannot be read tells nothing: the staged file stays.
  if (!GetFileSize64(files.staged.text, &nStaged)) return;
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

  // Held until the commit: no one changes the staged file meanwhile.
  StagedLogReader staged;
  if (!staged.Open(files.staged.text, kLogReadableBytes) || staged.size() <= kLogFileHeaderBytes) {
    return;
  }
  // Held alone until the journal is gone: a report being read keeps the
  // append out (and waits for the next roll-over), and no reader opens
  // error.bf while its end is changing.
  UniqueFileHandle pending =
      OpenLogFile(files.pending.text, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
  LogPendingEnd end;
  if (!pending || !FindPendingEnd(pending.get(), end)) return;
  const std::optional<LogStagedMark> mark = StagedMarkOf(staged);
  if (!mark) return;
  LogMergePlan waiting;
  waiting.bWait = true;
  const LogMergePlan plan =
      CatchValue(waiting, [&] { return PlanFor(end, staged, LogAccountRecordMaxBytes(identity)); });
  // Not even the accounts fit beside error.bf: the records wait for a report
  // to make room, and nothing is lost.
  if (plan.bWait) return;
  const std::vector<std::uint8_t> accounts =
      CatchValue(std::vector<std::uint8_t>(), [&] { return MergeAccounts(plan, identity); });
  if (accounts.empty() && (plan.NeedsTornAccount() || plan.NeedsLeftOutAccount())) return;

  LogAppendJournal journal;
  journal.nBase = plan.bFreshHeader ? 0 : plan.nPendingKept;
  journal.nEnd = journal.nBase + AppendedBytesOf(plan) + accounts.size();
  journal.staged = mark;
  if (!WriteAppendJournal(files.journal, journal)) {
    DeleteLogFile(files.journal.text);
    return;
  }
  const bool bAppended = AppendAt(pending.get(), journal, plan, staged, accounts);
  staged.Close();
  if (!bAppended || !DeleteLogFile(files.staged.text)) {
    if (CutBack(pending.get(), journal)) DeleteLogFile(files.journal.text);
    return;
  }
  // Committed. Left behind, the journal is dropped by the next settle, which
  // comes before any other file is staged under the staged name.
  DeleteLogFile(files.journal.text);
}

}  // namespace suite
