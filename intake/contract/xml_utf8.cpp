#include "contract/xml_utf8.h"

#include <cstdint>

namespace intake {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool IsXmlChar(std::uint32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  return c != 0xFFFE && c != 0xFFFF;
}

}  // namespace

std::optional<ContractError> CheckXmlUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      if (!IsXmlChar(lead)) return ContractError::kNotXmlText;
      ++p;
      continue;
    }
    std::size_t length = 0;
    std::uint32_t c = 0;
    std::uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07, least = 0x10000;
    } else {
      return ContractError::kNotUtf8;
    }
    if (static_cast<std::size_t>(end - p) < length) return ContractError::kNotUtf8;
    for (std::size_t i = 1; i < length; ++i) {
      if (!IsContinuation(p[i])) return ContractError::kNotUtf8;
      c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return ContractError::kNotUtf8;
    if (!IsXmlChar(c)) return ContractError::kNotXmlText;
    p += length;
  }
  return std::nullopt;
}

}  // namespace intake
