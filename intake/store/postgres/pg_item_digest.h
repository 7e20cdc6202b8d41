// The identity of an item as the database keys it: the SHA-256 of its seven
// key fields. A B-tree entry holds at most about 2.7 KB, and a message may
// be longer, so the unique index is on this digest, not on the fields.
#pragma once

#include <string>

#include "fold/folded_upload.h"

namespace intake::pg {

// Lower-case hex, 64 characters. Each field goes in with its length, and
// an absent Value differs from an empty one.
std::string ItemDigestHex(const ItemKey& key);

}  // namespace intake::pg
