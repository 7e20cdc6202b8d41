// Entry point of the reader: file buffer in, folded tree out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log_tree.h"

// Checks the LogFileHeader and folds every record into `products` (which the
// caller passes empty). The tree borrows texts from `pData`, which must stay
// alive and unchanged while the tree is used, and must be 2-byte aligned (an
// odd address is refused with false).
// Returns false for a bad/short file header or a damaged record (records
// before it stay folded); true when the walk reached the end of the data or a
// torn tail. May throw std::bad_alloc.
bool ParseLogRecords(const std::uint8_t* pData, std::size_t nBytes, ProductList& products);
