// Output of the tool's texts. A console gets UTF-16 through the console API,
// so every character shows; a pipe or file gets UTF-8, so that scripts and
// the collector's tests read the same bytes on every code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace suite {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);

// Writes the whole text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE; false when
// the stream is closed or a write failed.
bool WriteText(DWORD stream, std::wstring_view text);

inline bool WriteLine(DWORD stream, std::wstring_view text) {
  return WriteText(stream, std::wstring(text) + L"\n");
}

}  // namespace suite
