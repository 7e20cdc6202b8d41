// Bounds-checked reading of the records that follow the LogFileHeader.
// Nothing here allocates; every text is a view into the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// One record as found in the file. Texts end at their first zero code unit, at
// the end of their fixed field, or at the end of their own span in the string
// area, whichever comes first.
struct LogRecordView {
  std::uint32_t nKind = 0;
  std::int32_t nErrorCode = 0;
  std::u16string_view productVersion;
  std::u16string_view appVersion;
  std::u16string_view moduleVersion;
  std::u16string_view appName;     // string 1
  std::u16string_view moduleName;  // string 2
  std::u16string_view message;     // string 3
  std::u16string_view value;       // string 4, meaningful only when bHasValue
  bool bHasValue = false;
};

enum class LogWalkStep {
  Record,    // `record` was filled in
  End,       // the data ended exactly after the previous record
  TornTail,  // the last record was cut short; what came before is good
  Damaged,   // a record is inconsistent; nothing after it can be trusted
};

// True when the buffer starts with the LogFileHeader this reader understands.
bool IsKnownLogFileHeader(const std::uint8_t* pData, std::size_t nBytes);

// Walks the records of a whole file buffer (header included, not re-checked).
// The buffer must be at least 2-byte aligned: texts are handed out as
// char16_t views, and every string area starts at an even offset.
class LogRecordWalk {
 public:
  LogRecordWalk(const std::uint8_t* pData, std::size_t nBytes);

  // Once it has returned anything but Record it keeps returning the same.
  LogWalkStep Next(LogRecordView& record);

 private:
  LogWalkStep Stop(LogWalkStep step) {
    m_finalStep = step;
    return step;
  }

  const std::uint8_t* m_pData;
  std::size_t m_nBytes;
  std::size_t m_nOffset;
  LogWalkStep m_finalStep = LogWalkStep::Record;
};
