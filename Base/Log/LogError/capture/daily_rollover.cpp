#include "daily_rollover.h"

#include <windows.h>

#include "Win/hresult_error.h"
#include "active_log_gate.h"
#include "format/log_format.h"
#include "log_store_manager.h"
#include "pending/pending_log.h"
#include "storage/log_exclusion.h"
#include "storage/log_file_io.h"
#include "utility/crt_operations.h"

namespace suite {

namespace {

constexpr wchar_t kActiveLogName[] = L"error.Profile";
constexpr wchar_t kPendingLogName[] = L"error.bf";

LogFilePath DataFile(const wchar_t* pszName) noexcept {
  LogFilePath path;
  GetDataFilePath(pszName, path.text, kCrtPathCapacity, kCrtDataFolder, 0, 0);
  path.text[kCrtPathCapacity - 1] = L'\0';
  return path;
}

// Moves the active log file to the staged name while owning its mutex, so no
// writer of the suite is in the middle of an append; without the mutex, the
// file's share mode alone keeps writers out of the move. False when the mutex
// could not be had in time.
bool StageActiveLog(const LogFilePath& active, const LogFilePath& staged,
                    ActiveLogGate& activeGate) noexcept {
  const HANDLE hActiveMutex = activeGate.mutex();
  // Queued, so that writers stop opening the file ahead of the queue.
  const ActiveLogGate::Membership queued = activeGate.Join();
  const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
  MutexHold hold;
  const MutexWait wait =
      hActiveMutex != nullptr ? WaitUntil(hActiveMutex, deadline, hold) : MutexWait::Owned;
  if (wait == MutexWait::TimedOut) return false;
  // A writer died owning the mutex: its record may be cut short, and the
  // file may stay here for writers to append to. Drops not yet accounted go
  // with the day they happened on.
  g_logStoreManager.SettleActiveLogInTurn(wait == MutexWait::Abandoned);
  if (!LogFileExists(active)) return true;
  // A writer that went ahead of the queue may still have the file open for
  // a moment: the move waits it out.
  // One rename: the records are under one name or the other, never both.
  // The merge keeps what fits of a day's log over the cap, which only older
  // builds leave.
  if (RetryWhileShared(deadline, [&] { return MoveLogFile(active.text, staged.text); })) {
    g_logStoreManager.ForgetCapAccount();
  }
  return true;
}

// False when the active log's mutex could not be had in time.
bool MergeActiveIntoPending(const LogFilePath& active, const PendingLogFiles& files,
                            ActiveLogGate& activeGate) noexcept {
  if (!SettlePendingLog(files)) return true;
  // Records staged by an earlier roll-over are older than the active log's:
  // they go first, and while they cannot, the active log stays where it is.
  if (LogFileExists(files.staged)) {
    MergeStagedIntoPending(files, g_logStoreManager.AccountIdentity());
    // A journal that merge left would stand beside the day's log once it
    // is staged: it must go first.
    if (LogFileExists(files.staged) || !SettlePendingLog(files)) return true;
  }
  if (!StageActiveLog(active, files.staged, activeGate)) return false;
  if (LogFileExists(files.staged))
    MergeStagedIntoPending(files, g_logStoreManager.AccountIdentity());
  return true;
}

}  // namespace

bool IsRollOverDue() noexcept {
  const DateText today = TodayDateText();
  wchar_t stored[kCrtPathCapacity] = {};
  if (!GetConfigString(kLogErrorDateSetting, stored, sizeof(stored), kCrtStore)) return true;
  stored[kCrtPathCapacity - 1] = L'\0';
  return std::wcscmp(stored, today.text) != 0;
}

void RollOver(const wchar_t* pszSettingName, ActiveLogGate& activeGate) noexcept {
  const LogFilePath active = DataFile(kActiveLogName);
  const PendingLogFiles files = PendingLogFilesFor(DataFile(kPendingLogName).text);
  // Out of memory for the name: the next load tries again.
  UniqueKernelHandle pendingMutex = CatchValue(UniqueKernelHandle(), [&] {
    return OpenLogFilesMutex(LogFiles::Pending, files.pending.text);
  });
  if (!pendingMutex) return;

  MutexHold hold;
  // An abandoned mutex is owned all the same: the settle repairs what its
  // owner left.
  if (WaitUntil(pendingMutex.get(), Deadline::After(kLogExclusionBoundMs), hold) ==
      MutexWait::TimedOut) {
    return;
  }
  if (!IsRollOverDue()) return;  // another process rolled over while this one waited
  if (!MergeActiveIntoPending(active, files, activeGate)) return;
  SetConfigString(pszSettingName, TodayDateText().text, kCrtStore);
}

}  // namespace suite
