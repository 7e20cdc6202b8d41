#include "console_output.h"

#include "tool_error.h"

namespace suite {

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

bool WriteAllBytes(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 20) ? (1u << 20) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool WriteAllConsole(HANDLE handle, std::wstring_view text) {
  while (!text.empty()) {
    // Old consoles refuse very long writes; a pair is never cut in two.
    std::size_t chunk = text.size() > 8192 ? 8192 : text.size();
    if (chunk < text.size() && IS_HIGH_SURROGATE(text[chunk - 1])) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(chunk), &written, nullptr) ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string bytes;
  while (!text.empty()) {
    // WideCharToMultiByte counts in int; a pair is never cut in two.
    std::size_t chunk = text.size() > (1u << 24) ? (1u << 24) : text.size();
    if (chunk < text.size() && IS_HIGH_SURROGATE(text[chunk - 1])) --chunk;
    const int wideLength = static_cast<int>(chunk);
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) Fail(ExitStatus::kInternal, L"a text cannot be converted to UTF-8");
    const std::size_t offset = bytes.size();
    bytes.resize(offset + static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, bytes.data() + offset, needed, nullptr,
                        nullptr);
    text.remove_prefix(chunk);
  }
  return bytes;
}

bool WriteText(DWORD stream, std::wstring_view text) {
  HANDLE handle = GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  if (IsConsole(handle)) return WriteAllConsole(handle, text);
  return WriteAllBytes(handle, ToUtf8(text));
}

}  // namespace suite
