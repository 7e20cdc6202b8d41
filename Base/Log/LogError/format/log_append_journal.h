// The journal of an append to the pending log file: written and flushed
// before the pending log changes, removed once the append is committed. It
// names the file's length before the append (torn tail already cut) and
// after it, which is all that recovery and readers need:
//   - recovery cuts the file back to the first length while the appended
//     records still wait in their staged file;
//   - a reader takes only the first length's bytes, so it never reports
//     records that may yet be cut and appended again.
// A journal whose lengths do not enclose the file's size speaks of another
// file, and is discarded. Platform-neutral.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace suite {

inline constexpr wchar_t kLogAppendJournalSuffix[] = L".journal";
inline constexpr std::size_t kLogAppendJournalBytes = 32;

struct LogAppendJournal {
  std::uint64_t nBase = 0;  // the file's length before the append
  std::uint64_t nEnd = 0;   // its length once the append is whole

  // True when `nSize` could be this append's file at some step of it.
  bool Encloses(std::uint64_t nSize) const { return nBase <= nSize && nSize <= nEnd; }
};

// Fixed layout, little-endian, with a mark and a check: a journal cut short
// or overwritten by something else decodes as none.
std::array<std::uint8_t, kLogAppendJournalBytes> EncodeLogAppendJournal(
    const LogAppendJournal& journal) noexcept;
std::optional<LogAppendJournal> DecodeLogAppendJournal(const std::uint8_t* pData,
                                                       std::size_t nBytes) noexcept;

}  // namespace suite
