#include "settings_file.h"

#include <windows.h>

#include <vector>

#include "data_files.h"
#include "settings_lock.h"
#include "settings_write.h"
#include "tool_error.h"

namespace {

// The profile API cannot tell an empty value from a missing key except
// through its default, so the default is a text no setting can hold.
constexpr wchar_t kAbsent[] = L"\x01\x02<absent>";

}  // namespace

std::wstring SettingsFilePath() { return DataFilePath(L"settings.ini"); }

std::optional<std::wstring> ReadSetting(const std::wstring& file, const std::wstring& section,
                                        const std::wstring& key) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    const DWORD length =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), kAbsent, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), file.c_str());
    // A full buffer may hold a cut value: read again with room to spare.
    if (length + 2 < buffer.size()) {
      std::wstring value(buffer.data(), length);
      if (value == kAbsent) return std::nullopt;
      return value;
    }
    if (buffer.size() >= (1u << 24)) Fail(ExitStatus::kFile, L"a setting too long to read");
    buffer.resize(buffer.size() * 4);
  }
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
