#include "pending_log_merge.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "hresult_error.h"
#include "log_file_io.h"
#include "log_format.h"
#include "log_merge_plan.h"

namespace {

// A day's log over the cap is read whole too: only older builds leave one,
// and its earliest records are kept.
constexpr LONGLONG kMaxStagedBytes = 0x7FFFFFFF;

// A size that cannot be read counts as 0.
LONGLONG SizeOf(const LogFilePath& path) noexcept {
  LONGLONG size = 0;
  GetFileSize64(path.text, &size);
  return size;
}

bool ReadLog(const LogFilePath& path, LONGLONG nMaxBytes, FileBytes& bytes) noexcept {
  UniqueFileHandle file = OpenLogFile(path.text, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  return file && ReadWholeFile(file.get(), nMaxBytes, bytes);
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

// The copy the plan describes: error.bf's whole records (or a fresh header),
// the day's records that fit, then the merge's accounts. A torn tail is no
// record, and left in the middle it would read as damage.
bool WriteMerged(const LogFilePath& merge, const FileBytes& pending, const FileBytes& staged,
                 const LogMergePlan& plan, const LogAccountIdentity& identity) noexcept {
  const std::vector<std::uint8_t> accounts =
      CatchValue(std::vector<std::uint8_t>(), [&] { return MergeAccounts(plan, identity); });
  if (accounts.empty() && (plan.NeedsTornAccount() || plan.NeedsLeftOutAccount())) return false;
  UniqueFileHandle out = OpenLogFile(merge.text, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (!out) return false;
  bool bWritten = plan.bFreshHeader
                      ? WriteExactly(out.get(), &kLogFileHeader, kLogFileHeaderBytes)
                      : WriteExactly(out.get(), pending.data.get(), plan.nPendingKept);
  for (const LogByteSpan& span : plan.staged) {
    bWritten = bWritten && WriteExactly(out.get(), staged.data.get() + span.nOffset, span.nBytes);
  }
  return bWritten && WriteExactly(out.get(), accounts.data(), accounts.size()) &&
         FlushFile(out.get());
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
  const bool bPending = LogFileExists(files.pending);
  if (!bPending && nStaged <= kLogRolloverCap) {
    // One rename: the records are under one name or the other, header and all.
    MoveLogFile(files.staged.text, files.pending.text);
    return;
  }

  FileBytes pending;
  FileBytes staged;
  if ((bPending && !ReadLog(files.pending, kLogRolloverCap, pending)) ||
      !ReadLog(files.staged, kMaxStagedBytes, staged)) {
    return;
  }
  LogMergePlan waiting;
  waiting.bWait = true;
  const LogMergePlan plan = CatchValue(waiting, [&] {
    return PlanLogMerge(pending.data.get(), pending.size, staged.data.get(), staged.size,
                        LogAccountRecordMaxBytes(identity));
  });
  // Not even the accounts fit beside error.bf: the records wait for a report
  // to make room, and nothing is lost.
  if (plan.bWait) return;
  // Only a copy is written: dying here leaves error.bf and the staged records
  // as they were, and the next settle deletes the copy.
  if (!WriteMerged(files.merge, pending, staged, plan, identity)) {
    DeleteLogFile(files.merge.text);
    return;
  }
  pending = {};
  staged = {};
  // The copy is complete and on disk. Renamed, the staged records say so:
  // dying now, the settle finds both files and puts the records back to wait.
  if (!MoveLogFile(files.staged.text, files.merging.text)) {
    DeleteLogFile(files.merge.text);
    return;
  }
  // The one step that merges: afterwards error.bf holds all the records, and
  // a leftover error.bf.merging is known to be merged.
  if (!ReplaceLogFile(files.merge.text, files.pending.text)) {
    // Back to waiting, and only then the copy goes: dying in between leaves
    // a mere copy beside the waiting records, which the settle deletes.
    if (MoveLogFile(files.merging.text, files.staged.text)) DeleteLogFile(files.merge.text);
    return;
  }
  DeleteLogFile(files.merging.text);  // merged; left behind, the next settle deletes it
}
