// Once a day, the first load of the library merges the day's active log file
// into the pending log file, keeping that file within kLogRolloverCap.
#pragma once

#include <cwchar>

inline constexpr wchar_t kLogErrorDateSetting[] = L"LogErrorDate";

// A date as "LogErrorDate" holds it: "%d.%02d.%02d" (2011.07.26).
struct LogDateText {
  wchar_t text[24];
};

inline LogDateText FormatLogDate(unsigned year, unsigned month, unsigned day) noexcept {
  LogDateText date = {};
  swprintf(date.text, sizeof(date.text) / sizeof(date.text[0]), L"%u.%02u.%02u", year, month, day);
  return date;
}

// True when "LogErrorDate" is unreadable or differs from today's date.
bool IsRollOverDue() noexcept;

// Merges, then stores today's date under `pszSettingName` whatever the merge
// did, all while owning the pending log's mutex, so that of processes loading
// at once only the first rolls over. When the pending or the active log's
// mutex cannot be had within kLogExclusionBoundMs nothing is merged and the
// date is not stored: the next load tries again.
void RollOver(const wchar_t* pszSettingName) noexcept;
