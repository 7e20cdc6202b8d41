#include "log_file_view.h"

#include <cstring>

using namespace suite;

namespace {

std::u16string TextAt(const unsigned char* p, std::uint32_t bytes) {
  std::u16string text(bytes / 2, u'\0');
  std::memcpy(text.data(), p, text.size() * 2);
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

std::u16string FieldText(const char16_t (&field)[kLogTextFieldChars]) {
  std::u16string text(field, kLogTextFieldChars);
  return text.substr(0, text.find(u'\0'));
}

DecodedLog DecodeLog(const std::vector<unsigned char>& bytes) {
  DecodedLog log;
  if (bytes.size() < sizeof(LogFileHeader)) return log;
  LogFileHeader fileHeader;
  std::memcpy(&fileHeader, bytes.data(), sizeof(fileHeader));
  log.headerValid =
      fileHeader.Magic == kLogFileMagic && fileHeader.Version == 1 && fileHeader.Revision == 1;
  if (!log.headerValid) return log;
  std::size_t offset = sizeof(LogFileHeader);
  while (offset < bytes.size()) {
    if (bytes.size() - offset < sizeof(LogRecordHeader)) return log;
    DecodedRecord record;
    record.offset = offset;
    std::memcpy(&record.header, bytes.data() + offset, sizeof(LogRecordHeader));
    const LogRecordHeader& h = record.header;
    std::uint64_t sum =
        std::uint64_t{h.AppNameBytes} + h.ModuleNameBytes + h.MessageBytes + h.ValueBytes;
    if (h.HeaderSize != kLogRecordHeaderSize || sum != h.StringBytes ||
        bytes.size() - offset - sizeof(LogRecordHeader) < h.StringBytes) {
      return log;
    }
    const unsigned char* p = bytes.data() + offset + sizeof(LogRecordHeader);
    record.appName = TextAt(p, h.AppNameBytes);
    p += h.AppNameBytes;
    record.moduleName = TextAt(p, h.ModuleNameBytes);
    p += h.ModuleNameBytes;
    record.message = TextAt(p, h.MessageBytes);
    p += h.MessageBytes;
    if (h.ValueBytes != 0) record.value = TextAt(p, h.ValueBytes);
    log.records.push_back(record);
    offset += sizeof(LogRecordHeader) + h.StringBytes;
  }
  log.whole = true;
  return log;
}
