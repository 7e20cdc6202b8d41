#include "settings_file.h"

#include <windows.h>

#include "Settings/settings_lock.h"
#include "Settings/settings_read.h"
#include "Settings/settings_write.h"
#include "data_files.h"
#include "tool_error.h"

namespace suite {

std::wstring SettingsFilePath() { return DataFilePath(L"settings.ini"); }

std::optional<std::wstring> ReadSetting(const std::wstring& file, const std::wstring& section,
                                        const std::wstring& key) {
  std::optional<std::wstring> value;
  if (!ReadSettingFrom(file, section.c_str(), key.c_str(), value)) {
    Fail(ExitStatus::kFile, L"a setting too long to read");
  }
  return value;
}

void WriteSetting(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                  const wchar_t* value) {
  // The same exclusion and the same one-step replacement as crt.dll's writes,
  // so neither loses the other's keys.
  SettingsLock lock(file.substr(0, file.find_last_of(L'\\')));
  if (!lock.held()) Fail(ExitStatus::kFile, L"the settings of " + file + L" stay busy");
  if (!WriteSettingThroughCopy(file, section.c_str(), key.c_str(), value)) {
    const DWORD error = GetLastError();
    Fail(ExitStatus::kFile, L"cannot write " + file + L": " + SystemErrorText(error));
  }
}

}  // namespace suite
