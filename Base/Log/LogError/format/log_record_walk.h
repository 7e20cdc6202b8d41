// Bounds-checked reading of the records of a pending log file, shared by the
// report (which folds them) and by anything that must tell whole records from
// damage, such as a roll-over that copies records. Nothing here allocates;
// every text is a view into the caller's buffer.
//
// The walk partitions the data after a known file header (or, when the file
// header is damaged, the whole data) into records and skipped spans, in file
// order, with no gap and no overlap. From the start of the data it accepts a
// record by the lenient rules the reader has always applied (header size 248,
// text lengths that agree, a string area inside the data). After damage it
// restarts only at a record that passes every strict check (see
// IsLogRestartAt) and that is followed by another such record or by the exact
// end of the data, so one damaged span costs only its own bytes. A record
// right in front of damage is itself counted as damage when a restart point
// lies inside what its header claims (it was cut short, and later records
// were written over the rest), or when one of its texts does not end at its
// first zero code unit (it was cut short, and zeros or junk fill the rest).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace suite {

// One record as found in the file. Texts end at their first zero code unit, at
// the end of their fixed field, or at the end of their own span in the string
// area, whichever comes first.
struct LogRecordView {
  std::size_t nOffset = 0;  // where the record starts in the walked buffer
  std::size_t nBytes = 0;   // its header and string area: it ends at nOffset + nBytes
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
  Record,   // `record` was filled in
  Skipped,  // bytes that hold no whole record: SkippedSpan() tells where
  End,      // nothing is left to walk; returned from then on
};

enum class LogSkipKind {
  FileHeader,  // starts at offset 0: the file header is missing, torn or damaged
  Damaged,     // bytes between records that hold no whole record
  TornTail,    // the data ends inside a record that began here
};

struct LogSkippedSpan {
  std::size_t nOffset = 0;
  std::size_t nBytes = 0;  // never 0 for a reported span
  LogSkipKind kind = LogSkipKind::Damaged;
};

enum class LogFileState {
  Known,     // the LogFileHeader this reader understands
  Damaged,   // no such header (zeroed, torn, junk, or a file shorter than one):
             // the records behind it are still found, from offset 0 on
  Foreign,   // the right magic with another version or revision (each 1 to
             // 65535): nothing is read
  Unusable,  // a null buffer or an odd address: nothing is read
};

// True when the buffer starts with the LogFileHeader this reader understands.
bool IsKnownLogFileHeader(const std::uint8_t* pData, std::size_t nBytes);

// How the walk treats the start of this buffer.
LogFileState ClassifyLogFile(const std::uint8_t* pData, std::size_t nBytes);

// The strict test for a restart point after damage, at `nOffset` (even, and at
// most nBytes): a record with HeaderSize 248, FormatTag 4 and Kind 1 to 3,
// whose text lengths are even, non-zero (the value's may be 0) and add up to
// StringBytes, that fits in the data, and whose every text has its zero
// terminator as its last code unit; and what follows it is either the exact
// end of the data or another record passing the same checks. Constant time.
bool IsLogRestartAt(const std::uint8_t* pData, std::size_t nBytes, std::size_t nOffset);

// Walks the records of a whole file buffer, file header included. The buffer
// must be at least 2-byte aligned (otherwise the walk ends at once): texts are
// handed out as char16_t views, and every record the walk finds starts at an
// even offset. Records at odd offsets (possible only after damage of odd
// length) are not looked for; their bytes are skipped as damage.
//
// Typical use, e.g. to copy only whole records:
//   LogRecordWalk walk(pData, nBytes);
//   LogRecordView record;
//   for (LogWalkStep step; (step = walk.Next(record)) != LogWalkStep::End;) {
//     if (step == LogWalkStep::Record) Copy(pData + record.nOffset, record.nBytes);
//   }
class LogRecordWalk {
 public:
  LogRecordWalk(const std::uint8_t* pData, std::size_t nBytes);

  // Every call moves forward by at least two bytes, so a walk takes at most
  // nBytes / 2 + 1 calls to reach End; each call costs time linear in the
  // bytes it moves over, so the whole walk is linear in nBytes.
  LogWalkStep Next(LogRecordView& record);

  // The span of the last Skipped step.
  const LogSkippedSpan& SkippedSpan() const { return m_skipped; }

  LogFileState FileState() const { return m_fileState; }
  // Where the records start: after the file header when it is known, else 0.
  std::size_t DataOffset() const { return m_nDataOffset; }
  // Totals of the steps returned so far.
  std::size_t RecordCount() const { return m_nRecords; }
  std::size_t SkippedSpanCount() const { return m_nSkippedSpans; }
  std::size_t SkippedByteCount() const { return m_nSkippedBytes; }

 private:
  LogWalkStep Skip(std::size_t nEnd, LogSkipKind kind);
  void FillRecord(std::size_t nEnd, LogRecordView& record);

  const std::uint8_t* m_pData;
  std::size_t m_nBytes;
  std::size_t m_nOffset = 0;
  std::size_t m_nDataOffset = 0;
  LogFileState m_fileState;
  bool m_bEnded = false;
  // Set while the data at m_nOffset is not known to start a record (a damaged
  // file header): the next step searches for a restart point first.
  bool m_bSearch = false;
  LogSkippedSpan m_skipped;
  std::size_t m_nRecords = 0;
  std::size_t m_nSkippedSpans = 0;
  std::size_t m_nSkippedBytes = 0;
};

}  // namespace suite
