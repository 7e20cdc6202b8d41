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

// Merges, then stores today's date under `pszSettingName` whatever the merge did.
void RollOver(const wchar_t* pszSettingName) noexcept;

// Brings a leftover temporary file, then the active log file, into the
// pending log file, or discards whole files where the cap requires it.
void MergeActiveIntoPending() noexcept;

// Appends the records of `pszSource` (its body after the file header) to
// `pszDestination` and deletes the source once they are all there. On any
// failure the destination is left as it was and the source stays.
bool AppendLogBody(const wchar_t* pszSource, const wchar_t* pszDestination) noexcept;
