#include "contract/xml_values.h"

#include <charconv>

namespace intake {

namespace {

struct NamedEntity {
  std::string_view name;
  char replacement;
};
constexpr NamedEntity kNamedEntities[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};

bool IsXmlChar(std::uint32_t c) {
  if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

void AppendUtf8(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<std::uint32_t> CharacterReference(std::string_view digits) {
  int base = 10;
  if (!digits.empty() && digits.front() == 'x') {
    base = 16;
    digits.remove_prefix(1);
  }
  std::uint32_t c = 0;
  const char* end = digits.data() + digits.size();
  const auto [at, error] = std::from_chars(digits.data(), end, c, base);
  if (digits.empty() || error != std::errc() || at != end || !IsXmlChar(c)) return std::nullopt;
  return c;
}

}  // namespace

std::optional<ContractError> AppendXmlDecoded(std::string_view raw, std::string& out) {
  out.reserve(out.size() + raw.size());
  while (!raw.empty()) {
    const std::size_t special = raw.find_first_of("&<");
    out.append(raw.substr(0, special));
    if (special == std::string_view::npos) break;
    if (raw[special] == '<') return ContractError::kNotWellFormed;
    raw.remove_prefix(special + 1);
    // Each "&" either ends the walk or is consumed up to its ";": linear.
    const std::size_t semicolon = raw.find(';');
    if (semicolon == std::string_view::npos || semicolon == 0) {
      return ContractError::kNotWellFormed;
    }
    const std::string_view name = raw.substr(0, semicolon);
    if (name.find_first_of(" \t\r\n&<\"'") != std::string_view::npos) {
      return ContractError::kNotWellFormed;
    }
    raw.remove_prefix(semicolon + 1);
    if (name.front() == '#') {
      const std::optional<std::uint32_t> c = CharacterReference(name.substr(1));
      if (!c) return ContractError::kNotWellFormed;
      AppendUtf8(*c, out);
      continue;
    }
    bool known = false;
    for (const NamedEntity& entity : kNamedEntities) {
      if (entity.name == name) {
        out += entity.replacement;
        known = true;
        break;
      }
    }
    if (!known) return ContractError::kEntity;
  }
  return std::nullopt;
}

bool IsXmlWhiteSpace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseCount(std::string_view text) {
  if (text.empty() || text.front() == '-') return std::nullopt;
  const std::optional<std::int32_t> value = ParseInt32(text);
  if (!value || *value < 1) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

}  // namespace intake
