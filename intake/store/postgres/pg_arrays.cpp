#include "store/postgres/pg_arrays.h"

namespace intake::pg {

void ArrayLiteral::Separate() {
  if (!m_empty) m_text += ',';
  m_empty = false;
}

void ArrayLiteral::AddText(std::string_view text) {
  Separate();
  m_text.reserve(m_text.size() + text.size() + 2);
  m_text += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') {
      m_text += '\\';
      m_text += c;
    } else if (c == '\0') {
      m_text += "\xEF\xBF\xBD";
    } else {
      m_text += c;
    }
  }
  m_text += '"';
}

void ArrayLiteral::AddNull() {
  Separate();
  m_text += "NULL";
}

void ArrayLiteral::AddInt(std::int64_t number) {
  Separate();
  m_text += std::to_string(number);
}

std::string ArrayLiteral::Finish() && {
  m_text += '}';
  return std::move(m_text);
}

}  // namespace intake::pg
