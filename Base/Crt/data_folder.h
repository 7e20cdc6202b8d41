// The suite's data folder, where the settings and the log files live.
#pragma once

#include <string>

namespace suite {

// "CRT_DATA_DIR" when set, else %APPDATA%\PlayerSuite; created when missing.
// Empty when no folder can be named.
std::wstring DataFolder();

// Creates `folder` and every missing parent; true when it exists afterwards.
bool EnsureFolder(const std::wstring& folder);

}  // namespace suite
