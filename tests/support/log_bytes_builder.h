// Builds pending-log file bytes for tests: a file header, then records whose
// fields default to something valid, so each test states only what matters.
// Header-only and platform-neutral.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "format/log_format.h"

namespace logtest {

using namespace suite;

struct RecordFields {
  std::uint32_t kind = static_cast<std::uint32_t>(RecordKind::Error);
  std::int32_t code = kDefaultErrorCode;
  // Fixed fields keep at most 32 chars; a 32-char text has no terminator.
  std::u16string productVersion = u"1.0.0.1";
  std::u16string appVersion = u"2.0";
  std::u16string moduleVersion = u"3.0";
  std::u16string appName = u"Player";
  std::u16string moduleName = u"Decoder";
  std::u16string message = u"Something failed";
  std::optional<std::u16string> value;
  LogTime time{2024, 5, 3, 17, 12, 30, 45, 500};
  std::uint32_t formatTag = kLogRecordFormatTag;
  std::uint32_t reserved = 0;
  std::uint32_t headerSize = kLogRecordHeaderSize;
  // False writes the strings without their zero terminators.
  bool terminateStrings = true;
  // Overrides for the length fields, to describe damaged records.
  std::optional<std::uint32_t> stringBytes;
  std::optional<std::uint32_t> appNameBytes;
  std::optional<std::uint32_t> moduleNameBytes;
  std::optional<std::uint32_t> messageBytes;
  std::optional<std::uint32_t> valueBytes;

  RecordFields& Kind(std::uint32_t v) {
    kind = v;
    return *this;
  }
  RecordFields& Code(std::int32_t v) {
    code = v;
    return *this;
  }
  RecordFields& Product(std::u16string v) {
    productVersion = std::move(v);
    return *this;
  }
  RecordFields& App(std::u16string name, std::u16string version = u"2.0") {
    appName = std::move(name);
    appVersion = std::move(version);
    return *this;
  }
  RecordFields& Module(std::u16string name, std::u16string version = u"3.0") {
    moduleName = std::move(name);
    moduleVersion = std::move(version);
    return *this;
  }
  RecordFields& Message(std::u16string v) {
    message = std::move(v);
    return *this;
  }
  RecordFields& Value(std::u16string v) {
    value = std::move(v);
    return *this;
  }
};

// Grows and copies: a range insert here trips a false overflow warning of the
// mingw compilers.
inline void AppendBytes(std::vector<std::uint8_t>& out, const void* p, std::size_t n) {
  if (n == 0) return;
  const std::size_t offset = out.size();
  out.resize(offset + n);
  std::memcpy(out.data() + offset, p, n);
}

inline std::vector<std::uint8_t> RecordBytes(const RecordFields& fields) {
  const auto stringArea = [&fields](const std::u16string& text) {
    std::u16string s = text;
    if (fields.terminateStrings) s.push_back(u'\0');
    return s;
  };
  const std::u16string app = stringArea(fields.appName);
  const std::u16string module = stringArea(fields.moduleName);
  const std::u16string message = stringArea(fields.message);
  const std::u16string value = fields.value ? stringArea(*fields.value) : std::u16string();
  const auto bytesOf = [](const std::u16string& s) {
    return static_cast<std::uint32_t>(s.size() * sizeof(char16_t));
  };

  LogRecordHeader header{};
  header.HeaderSize = fields.headerSize;
  header.FormatTag = fields.formatTag;
  header.Kind = fields.kind;
  header.Reserved = fields.reserved;
  header.ErrorCode = fields.code;
  header.AppNameBytes = fields.appNameBytes.value_or(bytesOf(app));
  header.ModuleNameBytes = fields.moduleNameBytes.value_or(bytesOf(module));
  header.MessageBytes = fields.messageBytes.value_or(bytesOf(message));
  header.ValueBytes = fields.valueBytes.value_or(bytesOf(value));
  header.StringBytes = fields.stringBytes.value_or(bytesOf(app) + bytesOf(module) +
                                                   bytesOf(message) + bytesOf(value));
  const auto setField = [](char16_t(&field)[kLogTextFieldChars], const std::u16string& text) {
    std::copy_n(text.begin(), std::min(text.size(), kLogTextFieldChars), field);
  };
  setField(header.ProductVersion, fields.productVersion);
  setField(header.AppVersion, fields.appVersion);
  setField(header.ModuleVersion, fields.moduleVersion);
  header.Time = fields.time;

  std::vector<std::uint8_t> out;
  AppendBytes(out, &header, sizeof(header));
  for (const auto* s : {&app, &module, &message, &value}) {
    AppendBytes(out, s->data(), s->size() * sizeof(char16_t));
  }
  return out;
}

class LogBytesBuilder {
 public:
  // Starts with the current file header.
  LogBytesBuilder() : LogBytesBuilder(kLogFileHeader) {}
  explicit LogBytesBuilder(const LogFileHeader& header) {
    AppendBytes(m_bytes, &header, sizeof(header));
  }

  LogBytesBuilder& Record(const RecordFields& fields = {}) { return Raw(RecordBytes(fields)); }
  LogBytesBuilder& Raw(const std::vector<std::uint8_t>& bytes) {
    AppendBytes(m_bytes, bytes.data(), bytes.size());
    return *this;
  }
  // Cuts the last `n` bytes, as a write cut short would.
  LogBytesBuilder& DropTail(std::size_t n) {
    m_bytes.resize(m_bytes.size() - std::min(n, m_bytes.size()));
    return *this;
  }

  // A copy, so a chain on a temporary builder cannot leave a dangling buffer.
  std::vector<std::uint8_t> Bytes() const { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
};

// A log of `count` records of `bytes` bytes each (even, at least 290) after
// the records of `builder`; their messages are `tag`, their number, a dash
// and filler.
inline std::vector<std::uint8_t> LogOfSize(char16_t tag, std::size_t count, std::size_t bytes,
                                           LogBytesBuilder builder = {}) {
  for (std::size_t i = 0; i < count; ++i) {
    // The header and the texts "Player" and "Decoder" take 278 bytes.
    std::u16string message((bytes - 278) / 2 - 1, u'x');
    const std::string number = std::to_string(i);
    message[0] = tag;
    std::copy(number.begin(), number.end(), message.begin() + 1);
    message[number.size() + 1] = u'-';
    builder.Record(RecordFields().Message(message));
  }
  return builder.Bytes();
}

// A builder that starts with the records of the log file `log`.
// A log of one record per message, the other fields the builder's own.
inline std::vector<std::uint8_t> LogOf(std::initializer_list<const char16_t*> messages,
                                       LogBytesBuilder builder = {}) {
  for (const char16_t* message : messages) builder.Record(RecordFields().Message(message));
  return builder.Bytes();
}

inline LogBytesBuilder RecordsOf(const std::vector<std::uint8_t>& log) {
  LogBytesBuilder builder;
  builder.Raw(std::vector<std::uint8_t>(log.begin() + sizeof(LogFileHeader), log.end()));
  return builder;
}

}  // namespace logtest
