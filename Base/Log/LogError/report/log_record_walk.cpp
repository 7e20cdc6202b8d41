#include "log_record_walk.h"

#include <cstring>

#include "../capture/log_format.h"

namespace {

template <typename T>
T ReadAt(const std::uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

// The caller guarantees 2-byte alignment of `p` and that `nChars` code units
// are in bounds.
std::u16string_view TextUpToZero(const std::uint8_t* p, std::size_t nChars) {
  std::u16string_view text(reinterpret_cast<const char16_t*>(p), nChars);
  const std::size_t nZero = text.find(u'\0');
  return nZero == std::u16string_view::npos ? text : text.substr(0, nZero);
}

}  // namespace

bool IsKnownLogFileHeader(const std::uint8_t* pData, std::size_t nBytes) {
  if (pData == nullptr || nBytes < sizeof(LogFileHeader)) return false;
  const auto header = ReadAt<LogFileHeader>(pData);
  return header.Magic == kLogFileMagic && header.Version == kLogFileVersion &&
         header.Revision == kLogFileRevision;
}

LogRecordWalk::LogRecordWalk(const std::uint8_t* pData, std::size_t nBytes)
    : m_pData(pData), m_nBytes(nBytes), m_nOffset(sizeof(LogFileHeader)) {
  if (pData == nullptr || nBytes < sizeof(LogFileHeader) ||
      (reinterpret_cast<std::uintptr_t>(pData) & 1) != 0) {
    m_finalStep = LogWalkStep::Damaged;
  }
}

LogWalkStep LogRecordWalk::Next(LogRecordView& record) {
  if (m_finalStep != LogWalkStep::Record) return m_finalStep;

  const std::size_t nLeft = m_nBytes - m_nOffset;
  if (nLeft == 0) return Stop(LogWalkStep::End);
  // A writer cut short leaves a partial record at the end; the ones before it
  // are complete, so the file is still worth reporting.
  if (nLeft < sizeof(LogRecordHeader)) return Stop(LogWalkStep::TornTail);

  const std::uint8_t* pRecord = m_pData + m_nOffset;
  const auto header = ReadAt<LogRecordHeader>(pRecord);
  if (header.HeaderSize != kLogRecordHeaderSize) return Stop(LogWalkStep::Damaged);

  // A header that contradicts itself is damage, not a short write, so it is
  // judged before the string area is compared with what is left of the data.
  // Odd lengths are refused outright: they cannot hold UTF-16, and they would
  // put every later text at an odd address.
  const auto isBadText = [](std::uint32_t nBytes) { return nBytes == 0 || (nBytes & 1) != 0; };
  if (isBadText(header.AppNameBytes) || isBadText(header.ModuleNameBytes) ||
      isBadText(header.MessageBytes) || (header.ValueBytes & 1) != 0) {
    return Stop(LogWalkStep::Damaged);
  }
  const std::uint64_t nSum = std::uint64_t{header.AppNameBytes} + header.ModuleNameBytes +
                             header.MessageBytes + header.ValueBytes;
  if (nSum != header.StringBytes) return Stop(LogWalkStep::Damaged);

  if (header.StringBytes > nLeft - sizeof(LogRecordHeader)) return Stop(LogWalkStep::TornTail);

  const auto fixedText = [pRecord](std::size_t nOffset) {
    return TextUpToZero(pRecord + nOffset, kLogTextFieldChars);
  };
  record.nKind = header.Kind;
  record.nErrorCode = header.ErrorCode;
  record.productVersion = fixedText(offsetof(LogRecordHeader, ProductVersion));
  record.appVersion = fixedText(offsetof(LogRecordHeader, AppVersion));
  record.moduleVersion = fixedText(offsetof(LogRecordHeader, ModuleVersion));

  const std::uint8_t* pText = pRecord + sizeof(LogRecordHeader);
  const auto nextText = [&pText](std::uint32_t nBytes) {
    const auto text = TextUpToZero(pText, nBytes / sizeof(char16_t));
    pText += nBytes;
    return text;
  };
  record.appName = nextText(header.AppNameBytes);
  record.moduleName = nextText(header.ModuleNameBytes);
  record.message = nextText(header.MessageBytes);
  record.bHasValue = header.ValueBytes != 0;
  record.value = record.bHasValue ? nextText(header.ValueBytes) : std::u16string_view();

  m_nOffset += sizeof(LogRecordHeader) + header.StringBytes;
  return LogWalkStep::Record;
}
