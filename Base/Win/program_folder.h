// The folder of the running program, where the build puts every program and
// library side by side.
#pragma once

#include <windows.h>

#include <string>

namespace suite {

// Empty when the system cannot name the program. The buffer grows until the
// whole path fits, so a path past MAX_PATH is not cut into another folder.
inline std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      const std::size_t cut = path.find_last_of(L"\\/");
      return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace suite
