// The cursor of an item list: the sort it belongs to, the last row's sort
// value and its id. Rows sort by (value, id), most first, so ties page stably.
// Opaque to callers; a cursor of another sort or a mangled one decodes to
// nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/store.h"

namespace intake {

struct ItemCursor {
  std::int64_t value = 0;
  std::int64_t id = 0;
};

std::string EncodeItemCursor(ItemSort sort, const ItemCursor& cursor);
std::optional<ItemCursor> DecodeItemCursor(ItemSort sort, const std::string& text);

// The value a summary sorts by under `sort`.
std::int64_t SortValue(ItemSort sort, const ItemSummary& item);

}  // namespace intake
