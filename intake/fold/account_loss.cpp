#include "fold/account_loss.h"

#include <charconv>
#include <limits>
#include <string_view>

namespace intake {

namespace {

// The library's own messages, byte for byte.
struct Account {
  LossCause cause;
  std::string_view message;
};
constexpr Account kAccounts[] = {
    {LossCause::kDayLogCap, "Records were not kept: the day's log reached its size cap"},
    {LossCause::kDropped, "Records were not kept: the log was busy or could not be written"},
    {LossCause::kPendingFull, "Records were not kept: the pending log was full"},
    {LossCause::kTornRecord, "A record was cut: its writer stopped in the middle of it"},
};

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Digits only, as the library writes them; none past 2^64 - 1.
std::optional<std::uint64_t> Decimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

// "N records, M bytes": N, when the whole text has that shape.
std::optional<std::uint64_t> LeftOutRecords(std::string_view text) {
  constexpr std::string_view kRecords = " records, ";
  constexpr std::string_view kBytes = " bytes";
  const std::size_t at = text.find(kRecords);
  if (at == std::string_view::npos || !text.ends_with(kBytes)) return std::nullopt;
  const std::size_t bytes_at = at + kRecords.size();
  if (bytes_at + kBytes.size() > text.size()) return std::nullopt;
  if (!Decimal(text.substr(bytes_at, text.size() - bytes_at - kBytes.size()))) return std::nullopt;
  return Decimal(text.substr(0, at));
}

std::uint64_t SaturatingMultiply(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > kMax / a) return kMax;
  return a * b;
}

}  // namespace

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > kMax - a ? kMax : a + b;
}

std::optional<LossCause> AccountCause(const ReportItem& item) {
  if (item.kind != "Warning") return std::nullopt;
  for (const Account& account : kAccounts) {
    if (item.error_code == static_cast<std::int32_t>(account.cause) &&
        item.message == account.message) {
      return account.cause;
    }
  }
  return std::nullopt;
}

std::uint64_t RecordsLost(LossCause cause, const ReportItem& item) {
  std::optional<std::uint64_t> per_account;
  const std::string_view value = item.value ? std::string_view(*item.value) : std::string_view();
  switch (cause) {
    case LossCause::kDayLogCap:
    case LossCause::kDropped:
      per_account = Decimal(value);
      break;
    case LossCause::kPendingFull:
      per_account = LeftOutRecords(value);
      break;
    case LossCause::kTornRecord:
      per_account = 1;
      break;
  }
  return SaturatingMultiply(item.count, per_account.value_or(1));
}

}  // namespace intake
