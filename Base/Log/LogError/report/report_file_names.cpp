#include "report_file_names.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "xml_text.h"

namespace suite {

namespace {

std::wstring_view Wide(std::u16string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = FileNameUpperCase(c);
  return text;
}

}  // namespace

wchar_t FileNameUpperCase(wchar_t c) {
  // One unit at a time, as the ordinal comparison goes: a surrogate pair
  // mapped whole could fold where the comparison does not.
  static const std::vector<wchar_t> table = [] {
    std::vector<wchar_t> upper(0x10000);
    for (std::size_t unit = 0; unit < upper.size(); ++unit) {
      const auto in = static_cast<wchar_t>(unit);
      if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &upper[unit], 1, nullptr,
                        nullptr, 0) != 1) {
        upper[unit] = in;
      }
    }
    return upper;
  }();
  return table[static_cast<std::uint16_t>(c)];
}

bool ReportFileNames::Take(const std::wstring& name) { return m_taken.insert(Folded(name)).second; }

std::wstring ReportFileNames::Next(const wchar_t* pszPrefix, std::u16string_view version) {
  const std::wstring base =
      std::wstring(pszPrefix) + std::wstring(Wide(SanitizeFileNamePart(version)));
  std::wstring name = base + L".xml";
  if (Take(name)) return name;
  int& repeat = m_nextRepeat.try_emplace(Folded(base), 2).first->second;
  do {
    name = base + L" (" + std::to_wstring(repeat++) + L").xml";
  } while (!Take(name));
  return name;
}

}  // namespace suite
