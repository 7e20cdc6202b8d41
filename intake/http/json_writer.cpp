#include "json_writer.h"

#include <cstdio>

namespace intake {

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned min = 0;
  unsigned code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void AppendJsonEscaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8Length(text, i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

void JsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (!m_first.empty()) {
    if (!m_first.back()) m_out += ',';
    m_first.back() = false;
  }
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  m_out += bracket;
  m_first.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  m_out += bracket;
  if (!m_first.empty()) m_first.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Open('{'); }
JsonWriter& JsonWriter::EndObject() { return Close('}'); }
JsonWriter& JsonWriter::BeginArray() { return Open('['); }
JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  m_out += '"';
  AppendJsonEscaped(m_out, name);
  m_out += "\":";
  m_afterKey = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  m_out += '"';
  AppendJsonEscaped(m_out, text);
  m_out += '"';
  return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
  BeforeValue();
  m_out += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Number(std::uint64_t value) {
  BeforeValue();
  m_out += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  m_out += "null";
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  m_out += value ? "true" : "false";
  return *this;
}

}  // namespace intake
