#include "store/item_query_sql.h"

namespace intake {

const char* ItemSortColumn(ItemSort sort) {
  switch (sort) {
    case ItemSort::kClients:
      return "clients";
    case ItemSort::kLastSeen:
      return "last_seen";
    case ItemSort::kCount:
      break;
  }
  return "count";
}

std::string ItemLikePattern(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  pattern.push_back('%');
  return pattern;
}

}  // namespace intake
