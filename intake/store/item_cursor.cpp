#include "store/item_cursor.h"

#include <charconv>
#include <string_view>

namespace intake {
namespace {

char SortTag(ItemSort sort) {
  switch (sort) {
    case ItemSort::kCount:
      return 'c';
    case ItemSort::kClients:
      return 'n';
    case ItemSort::kLastSeen:
      return 'l';
  }
  return '?';
}

bool ParseWhole(std::string_view text, std::int64_t* out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string EncodeItemCursor(ItemSort sort, const ItemCursor& cursor) {
  std::string text(1, SortTag(sort));
  text.append(std::to_string(cursor.value));
  text.push_back('.');
  text.append(std::to_string(cursor.id));
  return text;
}

std::optional<ItemCursor> DecodeItemCursor(ItemSort sort, const std::string& text) {
  if (text.size() < 4 || text.front() != SortTag(sort)) return std::nullopt;
  std::string_view rest(text);
  rest.remove_prefix(1);
  auto dot = rest.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  ItemCursor cursor;
  if (!ParseWhole(rest.substr(0, dot), &cursor.value) ||
      !ParseWhole(rest.substr(dot + 1), &cursor.id)) {
    return std::nullopt;
  }
  return cursor;
}

std::int64_t SortValue(ItemSort sort, const ItemSummary& item) {
  switch (sort) {
    case ItemSort::kCount:
      return static_cast<std::int64_t>(item.count);
    case ItemSort::kClients:
      return static_cast<std::int64_t>(item.clients);
    case ItemSort::kLastSeen:
      return item.last_seen;
  }
  return 0;
}

}  // namespace intake
