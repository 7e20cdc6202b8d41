// What both SQL back-ends make of an item query: the column each sort
// orders by, and the LIKE pattern of a text filter.
#pragma once

#include <string>

#include "store/store.h"

namespace intake {

// The items column each sort orders by, most first.
const char* ItemSortColumn(ItemSort sort);

// "%text%", the text matching itself rather than LIKE's wildcards (each
// '%', '_' and '\' escaped with '\').
std::string ItemLikePattern(const std::string& text);

}  // namespace intake
