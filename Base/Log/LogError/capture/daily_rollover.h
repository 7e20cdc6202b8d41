// Once a day, the first load of the library merges the day's active log file
// into the pending log file, keeping that file within kLogRolloverCap.
#pragma once

inline constexpr wchar_t kLogErrorDateSetting[] = L"LogErrorDate";

// True when "LogErrorDate" is unreadable or differs from today's date.
bool IsRollOverDue();

// Merges, then stores today's date under `pszSettingName` whatever the merge did.
void RollOver(const wchar_t* pszSettingName);
