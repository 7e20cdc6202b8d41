#include "contract/content_type.h"

#include <algorithm>
#include <cctype>

namespace intake {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

bool IsXmlUtf8ContentType(std::string_view content_type) {
  const std::size_t semicolon = content_type.find(';');
  if (!EqualsNoCase(Trimmed(content_type.substr(0, semicolon)), "application/xml")) return false;
  if (semicolon == std::string_view::npos) return true;
  const std::string_view parameter = Trimmed(content_type.substr(semicolon + 1));
  const std::size_t equals = parameter.find('=');
  if (equals == std::string_view::npos) return false;
  if (!EqualsNoCase(Trimmed(parameter.substr(0, equals)), "charset")) return false;
  std::string_view charset = Trimmed(parameter.substr(equals + 1));
  if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
    charset = charset.substr(1, charset.size() - 2);
  }
  return EqualsNoCase(charset, "utf-8");
}

}  // namespace intake
