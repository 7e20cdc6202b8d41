// settings.ini of the data folder, the file crt.dll keeps the library's
// settings in, read and written with the same profile-string API so that
// every process sees every write.
#pragma once

#include <optional>
#include <string>

namespace suite {

// The file that crt.dll names (GetDataFilePath "settings.ini", folder kind 4).
std::wstring SettingsFilePath();

// Nothing when the key is not in the section.
std::optional<std::wstring> ReadSetting(const std::wstring& file, const std::wstring& section,
                                        const std::wstring& key);

// The one place where the tool changes the settings file, under the data
// folder's settings mutex, as crt.dll writes. A null value removes the key.
// Fails with kFile.
void WriteSetting(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                  const wchar_t* value);

}  // namespace suite
