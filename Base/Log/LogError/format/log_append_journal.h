// The journal of an append to the pending log file: written and flushed
// before the pending log changes, removed once the append is committed. It
// names the file's length before the append (torn tail already cut) and
// after it, and the staged file whose records it appends:
//   - recovery cuts the file back to the first length while those records
//     still wait in their staged file;
//   - a reader takes only the first length's bytes, so it never reports
//     records that may yet be cut and appended again.
// A journal whose lengths do not enclose the file's size speaks of another
// file, and so does one beside a staged file it does not name (a later day's
// log, staged after this append was committed): both are discarded.
// Journals of the first version name no staged file; any staged file counts
// as theirs. Platform-neutral.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace suite {

inline constexpr wchar_t kLogAppendJournalSuffix[] = L".journal";
// The longest journal: this version's. The first version's took 32 bytes.
inline constexpr std::size_t kLogAppendJournalBytes = 48;

// A staged file as a journal names it: its size, and a check of its first
// and last bytes (LogStagedSampleOf), which hold the day's first and last
// records with their times.
struct LogStagedMark {
  std::uint64_t nSize = 0;
  std::uint64_t nCheck = 0;
  bool operator==(const LogStagedMark&) const = default;
};

struct LogAppendJournal {
  std::uint64_t nBase = 0;              // the file's length before the append
  std::uint64_t nEnd = 0;               // its length once the append is whole
  std::optional<LogStagedMark> staged;  // none in journals of the first version

  // True when `nSize` could be this append's file at some step of it.
  bool Encloses(std::uint64_t nSize) const { return nBase <= nSize && nSize <= nEnd; }
  // True when the staged file marked `mark` is the one this append reads.
  bool Names(const LogStagedMark& mark) const { return !staged || *staged == mark; }
};

// The bytes of a staged file that its check covers: the first and the last
// kLogStagedSampleBytes at most, each once.
inline constexpr std::uint64_t kLogStagedSampleBytes = 64 * 1024;
struct LogStagedSample {
  std::uint64_t nHeadBytes = 0;   // from offset 0
  std::uint64_t nTailOffset = 0;  // then from here to the end
  std::uint64_t nTailBytes = 0;
};
LogStagedSample LogStagedSampleOf(std::uint64_t nSize) noexcept;

// The check, fed the sample's bytes in file order, in pieces of any size.
class LogStagedCheck {
 public:
  void Add(const std::uint8_t* pData, std::size_t nBytes) noexcept;
  std::uint64_t Value() const noexcept { return m_nHash; }

 private:
  std::uint64_t m_nHash = 0xCBF29CE484222325ull;
};

// The mark of a staged file whose whole bytes are at hand.
LogStagedMark LogStagedMarkOf(const std::uint8_t* pData, std::size_t nBytes) noexcept;

// Fixed layout, little-endian, with a mark and a check: a journal cut short
// or overwritten by something else decodes as none. A journal naming a
// staged file is written in this version; one naming none in the first.
struct LogAppendJournalBytes {
  std::array<std::uint8_t, kLogAppendJournalBytes> bytes{};
  std::size_t nSize = 0;
  const std::uint8_t* data() const noexcept { return bytes.data(); }
  std::size_t size() const noexcept { return nSize; }
  const std::uint8_t* begin() const noexcept { return bytes.data(); }
  const std::uint8_t* end() const noexcept { return bytes.data() + nSize; }
};
LogAppendJournalBytes EncodeLogAppendJournal(const LogAppendJournal& journal) noexcept;
std::optional<LogAppendJournal> DecodeLogAppendJournal(const std::uint8_t* pData,
                                                       std::size_t nBytes) noexcept;

}  // namespace suite
