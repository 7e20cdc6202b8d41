// Removing a sent report from the pending log file without touching records
// that a roll-over merged in after the report was read.
#pragma once

#include <cstddef>
#include <cstdint>

// When the file at pszPath starts with exactly the nReported bytes at
// pReported (a whole file as it was read: header and records), those bytes go:
// the file is deleted when nothing follows them, otherwise what follows stays
// behind a fresh file header. Any other file is left alone, and so is a file
// that another handle keeps open for longer than a short, bounded wait.
// The comparison and the removal happen under one exclusive open, so no
// other process can merge in between.
void RemoveReportedBytes(const wchar_t* pszPath, const std::uint8_t* pReported,
                         std::size_t nReported) noexcept;
