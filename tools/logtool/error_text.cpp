#include <windows.h>

#include <cwchar>

#include "tool_error.h"

namespace suite {

std::wstring HexCode(unsigned long code) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", code);
  return text;
}

std::wstring Shown(const std::wstring& text) {
  constexpr std::size_t kShownChars = 60;
  std::size_t length = text.size() > kShownChars ? kShownChars : text.size();
  if (length < text.size() && IS_HIGH_SURROGATE(text[length - 1])) --length;
  std::wstring shown = L"\"" + text.substr(0, length);
  for (wchar_t& c : shown) {
    if (c < L' ' || c == 0x7F) c = L'?';
  }
  return shown + (length < text.size() ? L"...\"" : L"\"");
}

std::wstring SystemErrorText(unsigned long code) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, 512, nullptr);
  // The system's texts end in ".\r\n"; one line on stderr wants neither.
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L'.' || text[length - 1] == L' ')) {
    --length;
  }
  std::wstring result(text, length);
  // Texts with inserts ("... for %1") are fetched without them.
  for (std::size_t at; (at = result.find(L" for %1")) != std::wstring::npos;) result.erase(at, 7);
  if (!result.empty()) result += L' ';
  result += L"(error " + std::to_wstring(code) + L")";
  return result;
}

}  // namespace suite
