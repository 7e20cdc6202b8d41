#include "account_record.h"

#include <string>
#include <string_view>

using namespace suite;

namespace stress {

namespace {

constexpr LogAccountCause kCauses[] = {LogAccountCause::DayLogCap, LogAccountCause::WriterDrops,
                                       LogAccountCause::PendingFull, LogAccountCause::TornRecord};

// wchar_t and char16_t are one representation on this platform.
std::wstring_view Wide(std::u16string_view text) {
  return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

std::u16string_view Narrow16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

}  // namespace

std::optional<FoundAccount> AccountOf(const FoundRecord& record) {
  if (record.nKind != static_cast<std::uint32_t>(RecordKind::Warning)) return std::nullopt;
  for (LogAccountCause cause : kCauses) {
    if (record.errorCode != std::to_wstring(static_cast<std::int32_t>(cause)) ||
        record.message != Wide(LogAccountMessage(cause))) {
      continue;
    }
    // An account without a value is of no form: it says nothing.
    const std::wstring_view value = record.value ? std::wstring_view(*record.value) : L"";
    return FoundAccount{cause, LogAccountRecordsNotKept(cause, Narrow16(value))};
  }
  return std::nullopt;
}

}  // namespace stress
