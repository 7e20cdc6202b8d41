// A writer's turn with the day's log: its record goes on the end while it
// fits below the cap's reserve, together with the accounts of what writers
// could not keep; a record that does not fit is refused and counted in the
// day's one cap account, written into the reserve or rewritten in place.
#pragma once

#include <windows.h>

#include <cstddef>

#include "format/log_accounts.h"
#include "log_account_state.h"

namespace suite {

enum class AppendOutcome {
  Appended,  // the record is in the file (or, without one, the accounts are)
  Refused,   // the day's log is at its cap: the record is counted there
  Failed,    // nothing was written, nor counted anywhere
};

struct ActiveLogTurn {
  HANDLE hFile;
  LONGLONG nEnd;        // where the file ends, its file header included
  LONGLONG nCutBack;    // where a failed write cuts the file back to
  LONGLONG nTornBytes;  // a torn record this turn cut from the end
};

// In the caller's turn, with the file open for reading and writing. Without
// a record (`pRecord` null), writes only the accounts that are due.
// `bTailWhole` turns false when a failed write may have left a torn record.
// At most one account of each cause is written. Neither throws nor waits.
AppendOutcome AppendInTurn(const ActiveLogTurn& turn, const std::byte* pRecord,
                           std::size_t nRecordBytes, LogAccountState& state,
                           const LogAccountIdentity& identity, bool& bTailWhole) noexcept;

}  // namespace suite
