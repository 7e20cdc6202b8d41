#include "xml_text.h"

#include <cstddef>

namespace suite {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsAllowedBmpUnit(char16_t c) {
  if (c < 0x20) return c == u'\t' || c == u'\n' || c == u'\r';
  return c != 0xFFFE && c != 0xFFFF;
}

// Length of the valid unit or pair starting at text[i], or 0 when text[i]
// must be replaced.
std::size_t ValidRunAt(std::u16string_view text, std::size_t i) {
  const char16_t c = text[i];
  if (IsHighSurrogate(c)) return i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 0;
  if (IsLowSurrogate(c)) return 0;
  return IsAllowedBmpUnit(c) ? 1 : 0;
}

// Separators, wildcards, quotes and controls: never part of one name.
bool IsReservedInFileName(char16_t c) {
  switch (c) {
    case u'\\':
    case u'/':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
      return true;
    default:
      return c < 0x20;
  }
}

}  // namespace

bool IsXmlTextClean(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const char16_t c = text[i];
    // Printable BMP text below the surrogates is by far the common case.
    if (c >= 0x20 && c < 0xD800) {
      ++i;
      continue;
    }
    const std::size_t n = ValidRunAt(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::u16string SanitizeXmlText(std::u16string_view text) {
  std::u16string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t n = ValidRunAt(out, i);
    if (n == 0) {
      out[i] = kReplacement;
      ++i;
    } else {
      i += n;
    }
  }
  return out;
}

std::u16string SanitizeFileNamePart(std::u16string_view text) {
  std::u16string out(text);
  bool bOnlyDotsAndSpaces = true;
  for (std::size_t i = 0; i < out.size();) {
    // What XML cannot carry (lone surrogates, U+FFFE, U+FFFF) no file system
    // takes in a name either: the file could not be created. Pairs stay.
    std::size_t n = ValidRunAt(out, i);
    if (n == 0 || IsReservedInFileName(out[i])) {
      out[i] = u'_';
      n = 1;
    }
    if (out[i] != u'.' && out[i] != u' ') bOnlyDotsAndSpaces = false;
    i += n;
  }
  // Windows drops trailing dots and spaces, so ". ." would still resolve to
  // a dot name; any such text loses its dots.
  if (bOnlyDotsAndSpaces) {
    for (char16_t& c : out) {
      if (c == u'.') c = u'_';
    }
  }
  return out;
}

}  // namespace suite
