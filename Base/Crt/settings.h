// Settings kept in "settings.ini" of the data folder through the profile API,
// so that every process sees every write at once. Reads and writes take the
// folder's settings lock (settings_lock.h).
#pragma once

#include <optional>
#include <string>

namespace suite {

std::optional<std::wstring> ReadSetting(const wchar_t* section, const wchar_t* key);
// False when the settings could not be had within kSettingsLockBoundMs.
bool WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value);
// The stored text, after storing `value` when the key was absent or empty;
// every process that asks gets the same text. Nothing when it cannot tell.
std::optional<std::wstring> ReadOrAddSetting(const wchar_t* section, const wchar_t* key,
                                             const wchar_t* value);

// The section that a store number selects; null for a store that is not defined.
const wchar_t* StoreSection(int store);

}  // namespace suite
