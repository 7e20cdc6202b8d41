// How much of the pending log file a reader takes: all of it, unless an
// append to it is journaled and may yet be undone; then only the bytes it
// had before the append, so that a report never holds records that recovery
// cuts and the next roll-over appends again.
#pragma once

#include <cstdint>

namespace suite {

// `pszLogPath` is open for reading at `nSize` bytes; its journal sits beside it.
std::uint64_t CommittedBytes(const wchar_t* pszLogPath, std::uint64_t nSize);

}  // namespace suite
