#include "settings.h"

#include <windows.h>

#include <cwchar>

#include "Settings/settings_lock.h"
#include "Settings/settings_read.h"
#include "Settings/settings_write.h"
#include "Win/date_text.h"
#include "Win/hresult_error.h"
#include "Win/unique_resource.h"
#include "bounded_text.h"
#include "crt_api.h"
#include "data_folder.h"

namespace suite {

namespace {

std::wstring SettingsPathIn(const std::wstring& folder) { return folder + L"\\settings.ini"; }

}  // namespace

const wchar_t* StoreSection(int store) { return store == 1 ? L"General" : nullptr; }

std::optional<std::wstring> ReadSetting(const wchar_t* section, const wchar_t* key) {
  if (section == nullptr || key == nullptr) return std::nullopt;
  const std::wstring folder = DataFolder();
  if (folder.empty()) return std::nullopt;
  const std::wstring path = SettingsPathIn(folder);
  // Held, no write is half done while the file is read; not held within the
  // bound, a read still beats none.
  SettingsLock lock(folder);
  std::optional<std::wstring> value;
  if (!ReadSettingFrom(path, section, key, value)) return std::nullopt;
  return value;
}

bool WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  if (section == nullptr || key == nullptr || value == nullptr) return false;
  const std::wstring folder = DataFolder();
  if (folder.empty()) return false;
  // The whole file is written back: without the lock another process's write
  // of another key could be undone.
  SettingsLock lock(folder);
  return lock.held() && WriteSettingThroughCopy(SettingsPathIn(folder), section, key, value);
}

std::optional<std::wstring> ReadOrAddSetting(const wchar_t* section, const wchar_t* key,
                                             const wchar_t* value) {
  const std::wstring folder = DataFolder();
  if (folder.empty()) return std::nullopt;
  // One hold over the read and the write, so only the first process adds.
  SettingsLock lock(folder);
  if (!lock.held()) return std::nullopt;
  std::optional<std::wstring> stored = ReadSetting(section, key);
  if (stored && !stored->empty()) return stored;
  if (!WriteSetting(section, key, value)) return std::nullopt;
  return ReadSetting(section, key);
}

extern "C" BOOL CRTAPI GetConfigString(LPCWSTR key, LPWSTR buffer, DWORD bufferBytes, int store) {
  return CatchValue(FALSE, [&]() -> BOOL {
    const wchar_t* section = StoreSection(store);
    if (section == nullptr || buffer == nullptr || bufferBytes < sizeof(wchar_t)) return FALSE;
    std::optional<std::wstring> value = ReadSetting(section, key);
    if (!value) return FALSE;
    CopyTextBounded(*value, buffer, bufferBytes / sizeof(wchar_t));
    return TRUE;
  });
}

extern "C" BOOL CRTAPI SetConfigString(LPCWSTR key, LPCWSTR value, int store) {
  return CatchValue(FALSE, [&]() -> BOOL {
    const wchar_t* section = StoreSection(store);
    return section != nullptr && WriteSetting(section, key, value);
  });
}

extern "C" int CRTAPI GetConfigInt(LPCWSTR section, LPCWSTR key, int defaultValue, int store) {
  return CatchValue(defaultValue, [&] {
    if (StoreSection(store) == nullptr) return defaultValue;
    std::optional<std::wstring> value = ReadSetting(section, key);
    if (!value || value->empty()) return defaultValue;
    wchar_t* end = nullptr;
    // Decimal, as GetPrivateProfileIntW reads it: "08" is 8, not a bad octal.
    long number = std::wcstol(value->c_str(), &end, 10);
    return end == value->c_str() ? defaultValue : static_cast<int>(number);
  });
}

extern "C" BOOL CRTAPI IsDateMarkCurrent(LPCWSTR markName) {
  return CatchValue(FALSE, [&]() -> BOOL {
    std::optional<std::wstring> stored = ReadSetting(L"DateMarks", markName);
    return stored && *stored == TodayDateText().text;
  });
}

extern "C" BOOL CRTAPI SetDateMark(LPCWSTR markName) {
  return CatchValue(
      FALSE, [&]() -> BOOL { return WriteSetting(L"DateMarks", markName, TodayDateText().text); });
}

}  // namespace suite
