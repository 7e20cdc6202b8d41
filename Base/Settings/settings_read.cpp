#include "settings_read.h"

#include <windows.h>

#include <vector>

namespace suite {

namespace {

// The profile API cannot tell an empty value from a missing key except
// through its default, so the default is a text no setting can hold.
constexpr wchar_t kAbsent[] = L"\x01\x02<absent>";
constexpr std::size_t kLongestValue = std::size_t{1} << 24;

}  // namespace

bool ReadSettingFrom(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                     std::optional<std::wstring>& value) {
  value.reset();
  std::vector<wchar_t> buffer(512);
  for (;;) {
    const DWORD length = GetPrivateProfileStringW(section, key, kAbsent, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.c_str());
    // A full buffer may hold a cut value: read again with room to spare.
    if (length + 2 < buffer.size()) {
      std::wstring text(buffer.data(), length);
      if (text != kAbsent) value = std::move(text);
      return true;
    }
    if (buffer.size() >= kLongestValue) return false;
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace suite
