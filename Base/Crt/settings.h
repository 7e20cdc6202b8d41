// Settings kept in "settings.ini" of the data folder through the profile API,
// so that every process sees every write at once.
#pragma once

#include <optional>
#include <string>

std::optional<std::wstring> ReadSetting(const wchar_t* section, const wchar_t* key);
bool WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value);

// The section that a store number selects; null for a store that is not defined.
const wchar_t* StoreSection(int store);
