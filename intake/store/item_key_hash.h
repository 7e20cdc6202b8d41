// The identity of an item in a store: the SHA-256 of its key's fields, each
// length-prefixed, so that a long message never makes a unique index entry
// too large for a database engine and "no value" differs from an empty one.
// Every back-end stores the same bytes, so stores can be compared or moved.
#pragma once

#include <array>

#include "fold/folded_upload.h"

namespace intake {

using ItemKeyHash = std::array<unsigned char, 32>;

ItemKeyHash HashItemKey(const ItemKey& key);

}  // namespace intake
