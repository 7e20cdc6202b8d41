// One read from a settings file, as crt.dll and the tool both make it.
#pragma once

#include <optional>
#include <string>

namespace suite {

// The value of `key` in `section` of the settings file at `path`, or none
// when the key is not there. False when the value is longer than any setting
// may be (16 Mi characters), so that a damaged file cannot take all memory.
bool ReadSettingFrom(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                     std::optional<std::wstring>& value);

}  // namespace suite
