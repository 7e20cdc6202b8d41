// Where the whole records of a log file's bytes end, found with the checked
// record walk. Platform-neutral.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log_format.h"

namespace suite {

// The offset where a torn tail of `pData` (a whole file, file header
// included) begins: a record cut short at the end by a write that did not
// finish. That tail was never a record, so cutting it loses nothing. Without
// one, every byte is kept (`nBytes`): damage in the middle is the reader's to
// step over, and dropping it could drop records the reader still finds.
// Never less than the file header's 12 bytes, or `nBytes` when shorter.
// `pData` must be 2-byte aligned, as the walk requires.
std::size_t WholeRecordsEnd(const std::uint8_t* pData, std::size_t nBytes) noexcept;

// True when `pTail`, the last `nBytes` of a log file starting at an even file
// offset, ends with a record that passes every strict check of the walk and
// ends exactly where the file does: then the file has no torn tail. False
// proves nothing (the last record may be longer than the bytes given, or from
// a writer that fills fields otherwise): walk the whole file then.
// `pTail` must be 2-byte aligned.
bool EndsWithWholeRecord(const std::uint8_t* pTail, std::size_t nBytes) noexcept;

// How much of a file's end EndsWithWholeRecord is given: far longer than any
// record this library writes, far shorter than a day's log. The tail starts
// at an even offset behind the file header.
inline constexpr std::size_t kLogTailBytes = 64 * 1024;
constexpr std::size_t LogTailStart(std::size_t nBytes) noexcept {
  const std::size_t nStart =
      nBytes > kLogFileHeaderBytes + kLogTailBytes ? nBytes - kLogTailBytes : kLogFileHeaderBytes;
  return nStart + (nStart & 1);
}

// WholeRecordsEnd, judged from the tail first: a file that ends on a whole
// record, as most do, is not walked at all.
std::size_t WholeRecordsEndFromTail(const std::uint8_t* pData, std::size_t nBytes) noexcept;

// Where bytes may be followed by records: records start at even offsets and
// are of even length, so the last byte of an odd length is damage. Kept, it
// would put whatever is written next at an odd offset, where readers never
// look for records.
constexpr std::size_t EvenEnd(std::size_t nEnd) noexcept { return nEnd & ~std::size_t{1}; }

}  // namespace suite
