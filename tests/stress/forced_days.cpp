#include "forced_days.h"

#include <windows.h>

#include <cwchar>

#include "Settings/settings_lock.h"
#include "Settings/settings_write.h"
#include "Win/date_text.h"
#include "crt_api.h"

using namespace suite;

namespace stress {

namespace {

constexpr wchar_t kRollOverDate[] = L"LogErrorDate";
constexpr int kGeneralStore = 1;

}  // namespace

bool MoveRollOverDateBack() {
  return SetConfigString(kRollOverDate, L"2000.01.01", kGeneralStore) != FALSE;
}

bool RollOverDateIsToday() {
  wchar_t stored[64] = {};
  if (!GetConfigString(kRollOverDate, stored, sizeof(stored), kGeneralStore)) return false;
  return std::wcscmp(stored, TodayDateText().text) == 0;
}

bool ClearSendMark() {
  const std::wstring folder = DataFolder();
  SettingsLock lock(folder);
  return lock.held() && WriteSettingThroughCopy(folder + L"\\settings.ini", L"DateMarks",
                                                L"SendErrorDate", nullptr);
}

std::wstring DataFolder() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"CRT_DATA_DIR", folder, MAX_PATH);
  return length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

}  // namespace stress
