// Once a day, the first load of the library merges the day's active log file
// into the pending log file, keeping that file within kLogRolloverCap.
#pragma once

#include "Win/date_text.h"
#include "active_log_gate.h"

namespace suite {

inline constexpr wchar_t kLogErrorDateSetting[] = L"LogErrorDate";

// True when "LogErrorDate" is unreadable or differs from today's date.
bool IsRollOverDue() noexcept;

// Merges, then stores today's date under `pszSettingName` whatever the merge
// did, all while owning the pending log's mutex, so that of processes loading
// at once only the first rolls over. When the pending or the active log's
// mutex cannot be had within kLogExclusionBoundMs nothing is merged and the
// date is not stored: the next load tries again. `activeGate` is the
// process's own, open for the active log file; without its mutex the move
// relies on the file's share mode.
void RollOver(const wchar_t* pszSettingName, ActiveLogGate& activeGate) noexcept;

}  // namespace suite
