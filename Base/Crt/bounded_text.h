// Copies into fixed-capacity caller buffers: always terminated, cut to fit.
#pragma once

#include <windows.h>

#include <string_view>

namespace suite {

inline void CopyTextBounded(std::wstring_view source, LPWSTR buffer, DWORD capacity) noexcept {
  if (buffer == nullptr || capacity == 0) return;
  size_t count = source.size() < capacity - 1 ? source.size() : capacity - 1;
  source.copy(buffer, count);
  buffer[count] = L'\0';
}

}  // namespace suite
