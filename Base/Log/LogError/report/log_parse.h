// Entry point of the reader: file buffer in, folded tree out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log_tree.h"

namespace suite {

// Folds every whole record of the file buffer into `products` (which the
// caller passes empty), in file order. Damaged spans cost only their own
// bytes: the walk resumes at the next whole record behind each one (see
// log_record_walk.h), and a damaged file header does not hide the records
// behind it. The tree borrows texts from `pData`, which must stay alive and
// unchanged while the tree is used, and must be 2-byte aligned.
// Returns true when the buffer is a log of this format: its file header is
// the known one, or whole records were found behind a damaged one. False for
// a null buffer or an odd address, another version or revision of the format,
// and bytes without a known header in which no whole record was found; the
// tree is then empty. May throw std::bad_alloc.
bool ParseLogRecords(const std::uint8_t* pData, std::size_t nBytes, ProductList& products);

}  // namespace suite
