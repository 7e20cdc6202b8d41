#include "log_record_walk.h"

#include <cstring>

#include "log_format.h"

namespace suite {

namespace {

constexpr std::size_t kHeaderBytes = sizeof(LogRecordHeader);
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

template <typename T>
T ReadAt(const std::uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

std::uint32_t FieldAt(const std::uint8_t* pRecord, std::size_t nFieldOffset) {
  return ReadAt<std::uint32_t>(pRecord + nFieldOffset);
}

// The caller guarantees 2-byte alignment of `p` and that `nChars` code units
// are in bounds.
std::u16string_view TextUpToZero(const std::uint8_t* p, std::size_t nChars) {
  std::u16string_view text(reinterpret_cast<const char16_t*>(p), nChars);
  const std::size_t nZero = text.find(u'\0');
  return nZero == std::u16string_view::npos ? text : text.substr(0, nZero);
}

// The text lengths of a record header, when they agree with each other:
// the three required texts are not empty, no length is odd (odd lengths
// cannot hold UTF-16, and they would put every later text at an odd address),
// and they add up to StringBytes. Sums are taken in 64 bits, so lengths that
// wrap in 32 bits do not agree.
struct TextLengths {
  std::uint32_t nApp;
  std::uint32_t nModule;
  std::uint32_t nMessage;
  std::uint32_t nValue;
  std::uint32_t nTotal;
};

bool ReadTextLengths(const std::uint8_t* pRecord, TextLengths& lengths) {
  lengths.nTotal = FieldAt(pRecord, offsetof(LogRecordHeader, StringBytes));
  lengths.nApp = FieldAt(pRecord, offsetof(LogRecordHeader, AppNameBytes));
  lengths.nModule = FieldAt(pRecord, offsetof(LogRecordHeader, ModuleNameBytes));
  lengths.nMessage = FieldAt(pRecord, offsetof(LogRecordHeader, MessageBytes));
  lengths.nValue = FieldAt(pRecord, offsetof(LogRecordHeader, ValueBytes));
  const auto isBadText = [](std::uint32_t nBytes) { return nBytes == 0 || (nBytes & 1) != 0; };
  if (isBadText(lengths.nApp) || isBadText(lengths.nModule) || isBadText(lengths.nMessage) ||
      (lengths.nValue & 1) != 0) {
    return false;
  }
  const std::uint64_t nSum =
      std::uint64_t{lengths.nApp} + lengths.nModule + lengths.nMessage + lengths.nValue;
  return nSum == lengths.nTotal;
}

enum class Shape {
  Whole,  // a record by the lenient rules, wholly inside the data
  Torn,   // the data ends before the record does
  Bad,    // the header contradicts itself: no record starts here
};

struct Probe {
  Shape shape;
  std::size_t nEnd;  // for Whole: where the record ends
};

// The rules the reader has always applied from the start of the file: only
// the header size and the text lengths are checked, so records from writers
// that filled other fields differently are still read. nOffset <= nBytes.
Probe ProbeLenient(const std::uint8_t* pData, std::size_t nBytes, std::size_t nOffset) {
  const std::size_t nLeft = nBytes - nOffset;
  // A writer cut short leaves a partial record at the end.
  if (nLeft < kHeaderBytes) return {Shape::Torn, 0};
  const std::uint8_t* pRecord = pData + nOffset;
  if (FieldAt(pRecord, offsetof(LogRecordHeader, HeaderSize)) != kLogRecordHeaderSize) {
    return {Shape::Bad, 0};
  }
  // A header that contradicts itself is damage, not a short write, so it is
  // judged before the string area is compared with what is left of the data.
  TextLengths lengths;
  if (!ReadTextLengths(pRecord, lengths)) return {Shape::Bad, 0};
  if (lengths.nTotal > nLeft - kHeaderBytes) return {Shape::Torn, 0};
  return {Shape::Whole, nOffset + kHeaderBytes + lengths.nTotal};
}

// Where a record passing every strict check ends, or 0 when none starts at
// nOffset (<= nBytes). Constant time: only the last code unit of each text is
// read, never the text itself.
std::size_t StrictRecordEnd(const std::uint8_t* pData, std::size_t nBytes, std::size_t nOffset) {
  const std::size_t nLeft = nBytes - nOffset;
  if (nLeft < kHeaderBytes) return 0;
  const std::uint8_t* pRecord = pData + nOffset;
  if (FieldAt(pRecord, offsetof(LogRecordHeader, HeaderSize)) != kLogRecordHeaderSize ||
      FieldAt(pRecord, offsetof(LogRecordHeader, FormatTag)) != kLogRecordFormatTag) {
    return 0;
  }
  const std::uint32_t nKind = FieldAt(pRecord, offsetof(LogRecordHeader, Kind));
  if (nKind < static_cast<std::uint32_t>(RecordKind::Error) ||
      nKind > static_cast<std::uint32_t>(RecordKind::Exception)) {
    return 0;
  }
  TextLengths lengths;
  if (!ReadTextLengths(pRecord, lengths) || lengths.nTotal > nLeft - kHeaderBytes) return 0;

  // Each text's terminator is its last code unit. Every length is even and
  // the texts lie inside the record, which lies inside the data.
  const std::uint8_t* pTextEnd = pRecord + kHeaderBytes;
  const auto endsInZero = [&pTextEnd](std::uint32_t nTextBytes) {
    pTextEnd += nTextBytes;
    return pTextEnd[-2] == 0 && pTextEnd[-1] == 0;
  };
  if (!endsInZero(lengths.nApp) || !endsInZero(lengths.nModule) || !endsInZero(lengths.nMessage) ||
      (lengths.nValue != 0 && !endsInZero(lengths.nValue))) {
    return 0;
  }
  return nOffset + kHeaderBytes + lengths.nTotal;
}

// True when each text of the record at pRecord (a lenient Whole) has its first
// zero code unit as its last one, as every text the writer stores does. A
// record cut short and followed by zeros has zeros inside its texts instead.
// Linear in the record's size.
bool TextsEndAtTheirFirstZero(const std::uint8_t* pRecord) {
  TextLengths lengths;
  ReadTextLengths(pRecord, lengths);
  const std::uint8_t* pText = pRecord + kHeaderBytes;
  const auto endsAtFirstZero = [&pText](std::uint32_t nTextBytes) {
    const std::uint8_t* pEnd = pText + nTextBytes;
    for (; pText != pEnd; pText += 2) {
      if (pText[0] == 0 && pText[1] == 0) break;
    }
    const bool bExact = pText != pEnd && pText + 2 == pEnd;
    pText = pEnd;
    return bExact;
  };
  return endsAtFirstZero(lengths.nApp) && endsAtFirstZero(lengths.nModule) &&
         endsAtFirstZero(lengths.nMessage) &&
         (lengths.nValue == 0 || endsAtFirstZero(lengths.nValue));
}

bool IsRestart(const std::uint8_t* pData, std::size_t nBytes, std::size_t nOffset) {
  const std::size_t nEnd = StrictRecordEnd(pData, nBytes, nOffset);
  if (nEnd == 0) return false;
  return nEnd == nBytes || StrictRecordEnd(pData, nBytes, nEnd) != 0;
}

// The first restart point at an even offset in [nFrom, nLimit), nLimit <=
// nBytes, or kNotFound. Each offset costs constant time.
std::size_t FindRestart(const std::uint8_t* pData, std::size_t nBytes, std::size_t nFrom,
                        std::size_t nLimit) {
  for (std::size_t nOffset = nFrom; nOffset < nLimit; nOffset += 2) {
    if (nBytes - nOffset < kHeaderBytes) break;  // no room left for any record
    // The cheapest check first: it rejects zeros and nearly all junk.
    if (FieldAt(pData + nOffset, 0) != kLogRecordHeaderSize) continue;
    if (IsRestart(pData, nBytes, nOffset)) return nOffset;
  }
  return kNotFound;
}

// Two bytes on, without passing nBytes.
std::size_t NextCandidate(std::size_t nOffset, std::size_t nBytes) {
  return nBytes - nOffset > 2 ? nOffset + 2 : nBytes;
}

}  // namespace

bool IsKnownLogFileHeader(const std::uint8_t* pData, std::size_t nBytes) {
  if (pData == nullptr || nBytes < sizeof(LogFileHeader)) return false;
  const auto header = ReadAt<LogFileHeader>(pData);
  return header.Magic == kLogFileMagic && header.Version == kLogFileVersion &&
         header.Revision == kLogFileRevision;
}

LogFileState ClassifyLogFile(const std::uint8_t* pData, std::size_t nBytes) {
  if (pData == nullptr || (reinterpret_cast<std::uintptr_t>(pData) & 1) != 0) {
    return LogFileState::Unusable;
  }
  if (IsKnownLogFileHeader(pData, nBytes)) return LogFileState::Known;
  if (nBytes >= sizeof(LogFileHeader)) {
    const auto header = ReadAt<LogFileHeader>(pData);
    // Another version or revision is a small number. A 0 was never written,
    // and a huge one is the start of a record behind a header cut short:
    // both are a damaged header.
    const auto isPlausible = [](std::uint32_t n) { return n != 0 && n <= 0xFFFF; };
    if (header.Magic == kLogFileMagic && isPlausible(header.Version) &&
        isPlausible(header.Revision)) {
      return LogFileState::Foreign;
    }
  }
  return LogFileState::Damaged;
}

bool IsLogRestartAt(const std::uint8_t* pData, std::size_t nBytes, std::size_t nOffset) {
  if (pData == nullptr || nOffset > nBytes) return false;
  return IsRestart(pData, nBytes, nOffset);
}

LogRecordWalk::LogRecordWalk(const std::uint8_t* pData, std::size_t nBytes)
    : m_pData(pData), m_nBytes(nBytes), m_fileState(ClassifyLogFile(pData, nBytes)) {
  switch (m_fileState) {
    case LogFileState::Known:
      m_nOffset = m_nDataOffset = sizeof(LogFileHeader);
      break;
    case LogFileState::Damaged:
      m_bSearch = true;
      break;
    case LogFileState::Foreign:
    case LogFileState::Unusable:
      m_nBytes = 0;
      m_bEnded = true;
      break;
  }
}

LogWalkStep LogRecordWalk::Next(LogRecordView& record) {
  if (m_bEnded) return LogWalkStep::End;
  if (m_nOffset == m_nBytes) {
    m_bEnded = true;
    return LogWalkStep::End;
  }

  if (m_bSearch) {
    // Without a known file header nothing says where the first record is.
    m_bSearch = false;
    const std::size_t nRestart = FindRestart(m_pData, m_nBytes, m_nOffset, m_nBytes);
    if (nRestart == kNotFound) return Skip(m_nBytes, LogSkipKind::FileHeader);
    if (nRestart != m_nOffset) return Skip(nRestart, LogSkipKind::FileHeader);
  }

  const Probe probe = ProbeLenient(m_pData, m_nBytes, m_nOffset);
  const std::size_t nFrom = NextCandidate(m_nOffset, m_nBytes);
  switch (probe.shape) {
    case Shape::Whole: {
      if (probe.nEnd == m_nBytes ||
          ProbeLenient(m_pData, m_nBytes, probe.nEnd).shape == Shape::Whole) {
        FillRecord(probe.nEnd, record);
        return LogWalkStep::Record;
      }
      // Damage right behind this record. Either it starts there, or this
      // record was itself cut short and later records were appended over
      // the rest of what its header claims: then a restart point lies inside
      // that claim, and this record is part of the damage.
      std::size_t nRestart = FindRestart(m_pData, m_nBytes, nFrom, probe.nEnd);
      if (nRestart != kNotFound) return Skip(nRestart, LogSkipKind::Damaged);
      // Or it was cut short and zeros or junk fill the rest of its claim:
      // then its texts do not end where their first zero is.
      if (TextsEndAtTheirFirstZero(m_pData + m_nOffset)) {
        FillRecord(probe.nEnd, record);
        return LogWalkStep::Record;
      }
      nRestart = FindRestart(m_pData, m_nBytes, probe.nEnd, m_nBytes);
      return nRestart != kNotFound ? Skip(nRestart, LogSkipKind::Damaged)
                                   : Skip(m_nBytes, LogSkipKind::TornTail);
    }
    case Shape::Torn: {
      const std::size_t nRestart = FindRestart(m_pData, m_nBytes, nFrom, m_nBytes);
      return nRestart != kNotFound ? Skip(nRestart, LogSkipKind::Damaged)
                                   : Skip(m_nBytes, LogSkipKind::TornTail);
    }
    case Shape::Bad:
      break;
  }
  const std::size_t nRestart = FindRestart(m_pData, m_nBytes, nFrom, m_nBytes);
  return Skip(nRestart != kNotFound ? nRestart : m_nBytes, LogSkipKind::Damaged);
}

LogWalkStep LogRecordWalk::Skip(std::size_t nEnd, LogSkipKind kind) {
  m_skipped.nOffset = m_nOffset;
  m_skipped.nBytes = nEnd - m_nOffset;
  m_skipped.kind = kind;
  ++m_nSkippedSpans;
  m_nSkippedBytes += m_skipped.nBytes;
  m_nOffset = nEnd;
  return LogWalkStep::Skipped;
}

void LogRecordWalk::FillRecord(std::size_t nEnd, LogRecordView& record) {
  const std::uint8_t* pRecord = m_pData + m_nOffset;
  const auto header = ReadAt<LogRecordHeader>(pRecord);
  const auto fixedText = [pRecord](std::size_t nFieldOffset) {
    return TextUpToZero(pRecord + nFieldOffset, kLogTextFieldChars);
  };
  record.nOffset = m_nOffset;
  record.nBytes = nEnd - m_nOffset;
  record.nKind = header.Kind;
  record.nErrorCode = header.ErrorCode;
  record.productVersion = fixedText(offsetof(LogRecordHeader, ProductVersion));
  record.appVersion = fixedText(offsetof(LogRecordHeader, AppVersion));
  record.moduleVersion = fixedText(offsetof(LogRecordHeader, ModuleVersion));

  const std::uint8_t* pText = pRecord + kHeaderBytes;
  const auto nextText = [&pText](std::uint32_t nTextBytes) {
    const auto text = TextUpToZero(pText, nTextBytes / sizeof(char16_t));
    pText += nTextBytes;
    return text;
  };
  record.appName = nextText(header.AppNameBytes);
  record.moduleName = nextText(header.ModuleNameBytes);
  record.message = nextText(header.MessageBytes);
  record.bHasValue = header.ValueBytes != 0;
  record.value = record.bHasValue ? nextText(header.ValueBytes) : std::u16string_view();

  ++m_nRecords;
  m_nOffset = nEnd;
}

}  // namespace suite
