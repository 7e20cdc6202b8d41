#include "log_append_journal.h"

namespace suite {

namespace {

constexpr std::uint32_t kMark = 0x4A414C45;  // "ELAJ" as it reads on disk
constexpr std::uint32_t kVersion = 1;

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
  std::uint64_t nHash = 0xCBF29CE484222325ull;
  for (std::size_t i = 0; i < nBytes; ++i) nHash = (nHash ^ pData[i]) * 0x100000001B3ull;
  return nHash;
}

}  // namespace

std::array<std::uint8_t, kLogAppendJournalBytes> EncodeLogAppendJournal(
    const LogAppendJournal& journal) noexcept {
  std::array<std::uint8_t, kLogAppendJournalBytes> bytes{};
  Put(&bytes[0], kMark, 4);
  Put(&bytes[4], kVersion, 4);
  Put(&bytes[8], journal.nBase, 8);
  Put(&bytes[16], journal.nEnd, 8);
  Put(&bytes[24], Check(bytes.data(), 24), 8);
  return bytes;
}

std::optional<LogAppendJournal> DecodeLogAppendJournal(const std::uint8_t* pData,
                                                       std::size_t nBytes) noexcept {
  if (pData == nullptr || nBytes != kLogAppendJournalBytes || Get(pData, 4) != kMark ||
      Get(pData + 4, 4) != kVersion || Get(pData + 24, 8) != Check(pData, 24)) {
    return std::nullopt;
  }
  const LogAppendJournal journal{Get(pData + 8, 8), Get(pData + 16, 8)};
  if (journal.nBase > journal.nEnd) return std::nullopt;
  return journal;
}

}  // namespace suite
