#include "record_key.h"

#include <cwchar>

namespace stress {

std::wstring MessageOf(const RecordKey& key) {
  wchar_t text[48];
  swprintf(text, 48, L"w%u-t%u-%u", key.nProcess, key.nThread, key.nIndex);
  return text;
}

std::optional<RecordKey> ParseMessage(std::wstring_view message) {
  RecordKey key;
  int nUsed = 0;
  const std::wstring text(message);
  if (swscanf(text.c_str(), L"w%u-t%u-%u%n", &key.nProcess, &key.nThread, &key.nIndex, &nUsed) !=
          3 ||
      static_cast<std::size_t>(nUsed) != text.size() || MessageOf(key) != text) {
    return std::nullopt;
  }
  return key;
}

std::uint32_t KindOf(const RecordKey& key) { return key.nIndex % 3 + 1; }

std::int32_t CodeOf(const RecordKey& key) {
  return static_cast<std::int32_t>(key.nIndex % 100000 + 1);
}

namespace {

std::wstring LongValueOf(const RecordKey& key) {
  const std::uint32_t nSpread =
      key.nIndex * 7919u + key.nThread * 104729u + key.nProcess * 1299709u;
  const std::size_t nChars = kLongValueMinChars + nSpread % kLongValueSpanChars;
  const std::wstring unit = MessageOf(key) + L"|";
  std::wstring value;
  value.reserve(nChars + unit.size());
  while (value.size() < nChars) value += unit;
  value.resize(nChars);
  return value;
}

}  // namespace

std::optional<std::wstring> ValueOf(const RecordKey& key) {
  if (key.nProcess >= kLongValueWriters) return LongValueOf(key);
  if (key.nIndex % 7 == 3) return std::nullopt;
  const wchar_t fill = static_cast<wchar_t>(L'a' + (key.nProcess + key.nThread) % 26);
  return std::wstring(key.nIndex * 13 % 97, fill);
}

}  // namespace stress
