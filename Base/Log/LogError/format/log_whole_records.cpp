#include "log_whole_records.h"

#include <cstring>

#include "log_format.h"
#include "log_record_walk.h"

namespace suite {

std::size_t WholeRecordsEnd(const std::uint8_t* pData, std::size_t nBytes) noexcept {
  if (pData == nullptr || nBytes <= kLogFileHeaderBytes) return nBytes;
  LogRecordWalk walk(pData, nBytes);
  LogRecordView record;
  for (LogWalkStep step; (step = walk.Next(record)) != LogWalkStep::End;) {
    if (step == LogWalkStep::Skipped && walk.SkippedSpan().kind == LogSkipKind::TornTail) {
      const std::size_t nTorn = walk.SkippedSpan().nOffset;
      return nTorn < kLogFileHeaderBytes ? kLogFileHeaderBytes : nTorn;
    }
  }
  return nBytes;
}

std::size_t WholeRecordsEndFromTail(const std::uint8_t* pData, std::size_t nBytes) noexcept {
  const std::size_t nStart = LogTailStart(nBytes);
  if (pData != nullptr && nStart < nBytes && EndsWithWholeRecord(pData + nStart, nBytes - nStart)) {
    return nBytes;
  }
  return WholeRecordsEnd(pData, nBytes);
}

bool EndsWithWholeRecord(const std::uint8_t* pTail, std::size_t nBytes) noexcept {
  constexpr std::size_t kSmallestRecord = sizeof(LogRecordHeader) + 3 * sizeof(char16_t);
  if (pTail == nullptr || nBytes < kSmallestRecord) return false;
  // The last record is the one that starts highest; a torn record holds none.
  for (std::size_t nOffset = (nBytes - kSmallestRecord) & ~std::size_t{1};; nOffset -= 2) {
    if (IsLogRestartAt(pTail, nBytes, nOffset)) {
      std::uint32_t nStringBytes = 0;
      std::memcpy(&nStringBytes, pTail + nOffset + offsetof(LogRecordHeader, StringBytes),
                  sizeof(nStringBytes));
      return nOffset + sizeof(LogRecordHeader) + nStringBytes == nBytes;
    }
    if (nOffset == 0) return false;
  }
}

}  // namespace suite
