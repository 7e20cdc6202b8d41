// How the writers of one data folder, threads and processes alike, take turns
// with its log files: they queue on named mutexes derived from the folder and
// never poll (an append with nobody queued goes ahead without waiting, see
// active_log_gate.h). Two mutexes, always taken in this order when both are
// needed: the pending log's, then the active log's. So a day's merge, however
// long, never holds up a writer: writers wait only for other appends and for
// the one rename that takes the active log file away.
#pragma once

#include <windows.h>

#include "Win/folder_mutex.h"
#include "Win/unique_resource.h"

namespace suite {

// The longest one call waits for a log file: far above what many writers at
// once make a call wait, so that a record is cut short only by a stalled
// machine, never by other writers, and as long as a whole call of half a
// second allows once the wait is over. The measured waits are in
// docs/performance.md ("Many writers at once", "Nothing lost under load").
inline constexpr DWORD kLogExclusionBoundMs = 480;

// The purposes that name the two mutexes (folder_mutex.h).
inline constexpr wchar_t kActiveLogMutexPurpose[] = L"ActiveLog";
inline constexpr wchar_t kPendingLogMutexPurpose[] = L"PendingLog";

enum class LogFiles {
  Active,   // error.Profile: the appends, and the roll-over's move of it
  Pending,  // error.bf and its companions: the merge, the removal of what was sent
};

// The mutex of `which` for the folder that holds `pszFilePath`; empty on
// failure. With `pbCreatedOwned`, as OpenFolderMutex. Allocates: open it
// before waiting for anything.
UniqueKernelHandle OpenLogFilesMutex(LogFiles which, const wchar_t* pszFilePath,
                                     bool* pbCreatedOwned = nullptr);

// The moment by which a wait must have ended.
class Deadline {
 public:
  static Deadline After(DWORD milliseconds) noexcept;
  DWORD Remaining() const noexcept;

 private:
  ULONGLONG m_nEndTick = 0;
};

// Waits for `mutex` until the deadline; `hold` owns it unless TimedOut.
MutexWait WaitUntil(HANDLE mutex, const Deadline& deadline, MutexHold& hold) noexcept;

// Runs `attempt` (true on success, the last error set on failure) in the
// caller's turn. A sharing violation there means a writer that went ahead
// of the queue is finishing its record, or a program outside the suite has
// the file open: the attempt is repeated after a pause until the deadline,
// keeping the turn. Giving the turn back would send the caller to the end of
// the queue, past the bound of a busy folder. False when the attempt never
// succeeded.
template <typename Attempt>
bool RetryWhileShared(const Deadline& deadline, Attempt&& attempt) {
  for (;;) {
    if (attempt()) return true;
    if (GetLastError() != ERROR_SHARING_VIOLATION || deadline.Remaining() == 0) return false;
    Sleep(1);
  }
}

// The same for a delete or a replace of a file that another handle holds
// without delete sharing (a reader, a scanner, an indexer): the platform
// refuses those with a sharing violation or as access denied.
template <typename Attempt>
bool RetryWhileHeld(const Deadline& deadline, Attempt&& attempt) {
  for (;;) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
        deadline.Remaining() == 0) {
      return false;
    }
    Sleep(1);
  }
}

}  // namespace suite
