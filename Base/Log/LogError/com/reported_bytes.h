// Removing a sent report from the pending log file without touching records
// that a roll-over merged in after the report was read.
#pragma once

#include <cstddef>
#include <cstdint>

// When the file at pszPath starts with exactly the nReported bytes at
// pReported (a whole file as it was read: header and records), those bytes go:
// the file is deleted when nothing follows them, otherwise it is replaced in
// one step by a fresh file header and what follows. Any other file is left
// alone, and so is one that the pending log's mutex or the file itself
// cannot be had for within kLogExclusionBoundMs. A process that dies at any
// moment leaves the old file or the new one, never a torn one.
void RemoveReportedBytes(const wchar_t* pszPath, const std::uint8_t* pReported,
                         std::size_t nReported) noexcept;
