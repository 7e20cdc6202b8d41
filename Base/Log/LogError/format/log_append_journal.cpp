#include "log_append_journal.h"

namespace suite {

namespace {

constexpr std::uint32_t kMark = 0x4A414C45;  // "ELAJ" as it reads on disk
// The first version names the lengths only; the second the staged file too.
constexpr std::uint32_t kLengthsVersion = 1;
constexpr std::uint32_t kStagedVersion = 2;
constexpr std::size_t kLengthsBytes = 32;
static_assert(kLogAppendJournalBytes == kLengthsBytes + 16);

void Put(std::uint8_t* pAt, std::uint64_t nValue, std::size_t nBytes) noexcept {
  for (std::size_t i = 0; i < nBytes; ++i) pAt[i] = static_cast<std::uint8_t>(nValue >> (8 * i));
}

std::uint64_t Get(const std::uint8_t* pAt, std::size_t nBytes) noexcept {
  std::uint64_t nValue = 0;
  for (std::size_t i = 0; i < nBytes; ++i) nValue |= std::uint64_t{pAt[i]} << (8 * i);
  return nValue;
}

// FNV-1a over the fields: any change of a byte shows.
std::uint64_t Check(const std::uint8_t* pData, std::size_t nBytes) noexcept {
  LogStagedCheck check;
  check.Add(pData, nBytes);
  return check.Value();
}

}  // namespace

LogStagedSample LogStagedSampleOf(std::uint64_t nSize) noexcept {
  LogStagedSample sample;
  sample.nHeadBytes = nSize < kLogStagedSampleBytes ? nSize : kLogStagedSampleBytes;
  const std::uint64_t nTail = nSize - sample.nHeadBytes;
  sample.nTailBytes = nTail < kLogStagedSampleBytes ? nTail : kLogStagedSampleBytes;
  sample.nTailOffset = nSize - sample.nTailBytes;
  return sample;
}

void LogStagedCheck::Add(const std::uint8_t* pData, std::size_t nBytes) noexcept {
  for (std::size_t i = 0; i < nBytes; ++i) m_nHash = (m_nHash ^ pData[i]) * 0x100000001B3ull;
}

LogStagedMark LogStagedMarkOf(const std::uint8_t* pData, std::size_t nBytes) noexcept {
  const LogStagedSample sample = LogStagedSampleOf(nBytes);
  LogStagedCheck check;
  if (pData != nullptr) {
    check.Add(pData, static_cast<std::size_t>(sample.nHeadBytes));
    check.Add(pData + sample.nTailOffset, static_cast<std::size_t>(sample.nTailBytes));
  }
  return {nBytes, check.Value()};
}

LogAppendJournalBytes EncodeLogAppendJournal(const LogAppendJournal& journal) noexcept {
  LogAppendJournalBytes out;
  std::uint8_t* pBytes = out.bytes.data();
  out.nSize = journal.staged ? kLogAppendJournalBytes : kLengthsBytes;
  Put(pBytes, kMark, 4);
  Put(pBytes + 4, journal.staged ? kStagedVersion : kLengthsVersion, 4);
  Put(pBytes + 8, journal.nBase, 8);
  Put(pBytes + 16, journal.nEnd, 8);
  if (journal.staged) {
    Put(pBytes + 24, journal.staged->nSize, 8);
    Put(pBytes + 32, journal.staged->nCheck, 8);
  }
  Put(pBytes + out.nSize - 8, Check(pBytes, out.nSize - 8), 8);
  return out;
}

std::optional<LogAppendJournal> DecodeLogAppendJournal(const std::uint8_t* pData,
                                                       std::size_t nBytes) noexcept {
  if (pData == nullptr || nBytes < kLengthsBytes || Get(pData, 4) != kMark) return std::nullopt;
  const std::uint64_t nVersion = Get(pData + 4, 4);
  const std::size_t nExpected = nVersion == kLengthsVersion  ? kLengthsBytes
                                : nVersion == kStagedVersion ? kLogAppendJournalBytes
                                                             : 0;
  if (nBytes != nExpected || Get(pData + nBytes - 8, 8) != Check(pData, nBytes - 8)) {
    return std::nullopt;
  }
  LogAppendJournal journal{Get(pData + 8, 8), Get(pData + 16, 8), std::nullopt};
  if (nVersion == kStagedVersion)
    journal.staged = LogStagedMark{Get(pData + 24, 8), Get(pData + 32, 8)};
  if (journal.nBase > journal.nEnd) return std::nullopt;
  return journal;
}

}  // namespace suite
