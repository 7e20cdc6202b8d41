#include "log_accounts.h"

#include <algorithm>
#include <cstring>

namespace suite {

namespace {

constexpr std::u16string_view kSaturatedSuffix = u" or more";

constexpr LogAccountCause kCauses[] = {LogAccountCause::DayLogCap, LogAccountCause::WriterDrops,
                                       LogAccountCause::PendingFull, LogAccountCause::TornRecord};

// Digits only, at most 20 of them, and no overflow.
std::optional<std::uint64_t> ParseDecimal(std::u16string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - u'0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

void CopyToField(char16_t (&field)[kLogTextFieldChars], std::u16string_view text) {
  std::memset(field, 0, sizeof(field));
  std::copy_n(text.begin(), std::min(text.size(), kLogTextFieldChars - 1), field);
}

std::uint32_t TextBytes(std::u16string_view text) {
  return static_cast<std::uint32_t>((text.size() + 1) * sizeof(char16_t));
}

void AppendText(std::vector<std::uint8_t>& out, std::u16string_view text) {
  const std::size_t nAt = out.size();
  out.resize(nAt + TextBytes(text), 0);
  if (!text.empty()) std::memcpy(out.data() + nAt, text.data(), text.size() * sizeof(char16_t));
}

}  // namespace

std::u16string_view LogAccountMessage(LogAccountCause cause) {
  switch (cause) {
    case LogAccountCause::DayLogCap:
      return u"Records were not kept: the day's log reached its size cap";
    case LogAccountCause::WriterDrops:
      return u"Records were not kept: the log was busy or could not be written";
    case LogAccountCause::PendingFull:
      return u"Records were not kept: the pending log was full";
    case LogAccountCause::TornRecord:
      return u"A record was cut: its writer stopped in the middle of it";
  }
  return u"";
}

std::optional<LogAccountCause> LogAccountCauseOf(const LogRecordView& record) {
  if (record.nKind != static_cast<std::uint32_t>(RecordKind::Warning)) return std::nullopt;
  for (LogAccountCause cause : kCauses) {
    if (record.nErrorCode == static_cast<std::int32_t>(cause) &&
        record.message == LogAccountMessage(cause)) {
      return cause;
    }
  }
  return std::nullopt;
}

std::optional<std::uint64_t> LogAccountRecordsNotKept(LogAccountCause cause,
                                                      std::u16string_view value) {
  switch (cause) {
    case LogAccountCause::DayLogCap:
      return ParseDecimal(value);
    case LogAccountCause::WriterDrops:
      // A saturated count: at least that many.
      if (value.ends_with(kSaturatedSuffix)) value.remove_suffix(kSaturatedSuffix.size());
      return ParseDecimal(value);
    case LogAccountCause::PendingFull: {
      constexpr std::u16string_view kRecords = u" records, ";
      const std::size_t nAt = value.find(kRecords);
      if (nAt == std::u16string_view::npos || !value.ends_with(u" bytes")) return std::nullopt;
      const std::u16string_view bytes =
          value.substr(nAt + kRecords.size(), value.size() - nAt - kRecords.size() - 6);
      if (!ParseDecimal(bytes)) return std::nullopt;
      return ParseDecimal(value.substr(0, nAt));
    }
    case LogAccountCause::TornRecord:
      if (!ParseDecimal(value)) return std::nullopt;
      return 1;
  }
  return std::nullopt;
}

std::array<char16_t, kCapCountDigits> CapCountDigits(std::uint32_t nCount) {
  std::array<char16_t, kCapCountDigits> digits;
  for (std::size_t i = kCapCountDigits; i-- > 0; nCount /= 10) {
    digits[i] = static_cast<char16_t>(u'0' + nCount % 10);
  }
  return digits;
}

std::u16string CapCountText(std::uint32_t nCount) {
  const std::array<char16_t, kCapCountDigits> digits = CapCountDigits(nCount);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string CountText(std::uint64_t nCount) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + nCount % 10));
    nCount /= 10;
  } while (nCount != 0);
  return text;
}

std::u16string DropCountText(std::uint64_t nCount, bool bSaturated) {
  std::u16string text = CountText(nCount);
  if (bSaturated) text.append(kSaturatedSuffix);
  return text;
}

std::u16string LeftOutText(std::uint64_t nRecords, std::uint64_t nBytes) {
  return CountText(nRecords) + u" records, " + CountText(nBytes) + u" bytes";
}

std::vector<std::uint8_t> LogAccountRecord(const LogAccountIdentity& identity,
                                           LogAccountCause cause, std::u16string_view value,
                                           const LogTime& time) {
  const std::u16string_view message = LogAccountMessage(cause);
  LogRecordHeader header;
  std::memset(&header, 0, sizeof(header));
  header.HeaderSize = kLogRecordHeaderSize;
  header.FormatTag = kLogRecordFormatTag;
  header.Kind = static_cast<std::uint32_t>(RecordKind::Warning);
  header.ErrorCode = static_cast<std::int32_t>(cause);
  header.AppNameBytes = TextBytes(identity.appName);
  header.ModuleNameBytes = TextBytes(identity.moduleName);
  header.MessageBytes = TextBytes(message);
  header.ValueBytes = TextBytes(value);
  header.StringBytes =
      header.AppNameBytes + header.ModuleNameBytes + header.MessageBytes + header.ValueBytes;
  CopyToField(header.ProductVersion, identity.productVersion);
  CopyToField(header.AppVersion, identity.appVersion);
  CopyToField(header.ModuleVersion, identity.moduleVersion);
  header.Time = time;

  std::vector<std::uint8_t> out(sizeof(header));
  std::memcpy(out.data(), &header, sizeof(header));
  out.reserve(sizeof(header) + header.StringBytes);
  AppendText(out, identity.appName);
  AppendText(out, identity.moduleName);
  AppendText(out, message);
  AppendText(out, value);
  return out;
}

std::size_t LogAccountRecordMaxBytes(const LogAccountIdentity& identity) {
  // The longest value: two 20-digit numbers with their words.
  constexpr std::size_t kLongestValueChars = 20 + 10 + 20 + 6;
  std::size_t nLongestMessage = 0;
  for (LogAccountCause cause : kCauses) {
    nLongestMessage = std::max(nLongestMessage, LogAccountMessage(cause).size());
  }
  return sizeof(LogRecordHeader) + TextBytes(identity.appName) + TextBytes(identity.moduleName) +
         (nLongestMessage + 1 + kLongestValueChars + 1) * sizeof(char16_t);
}

}  // namespace suite
