#include "dashboard/escape.h"

#include <cstdint>

namespace intake::dashboard {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t point = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    point = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    point = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    point = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(i) & 0x3F);
  }
  constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    ++at;
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\t':
      case '\n':
      case '\r':
        out.push_back(c);
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          out += kReplacement;
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string Attribute(std::string_view text) { return HtmlText(text); }

std::string UrlComponent(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
  return out;
}

bool DecodeUrlComponent(std::string_view text, std::string* out) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out->push_back(' ');
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return false;
      const int high = hex(text[i + 1]);
      const int low = hex(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out->push_back(text[i]);
    }
  }
  return true;
}

}  // namespace intake::dashboard
