// Account records: where the log says, in a record of its own format, what it
// could not keep. An account is an ordinary Warning record, so it reaches the
// report like any other; it is known by its code together with its fixed
// message. Platform-neutral.
//
//   code   cause                                       value text
//   10901  the day's log reached its size cap          records not kept, 10 digits
//   10902  records dropped by writers                  records not kept, with " or more"
//                                                      where the count saturated
//   10903  the roll-over could not fit the day's log   "<records> records, <bytes> bytes"
//   10904  a torn record was cut from a log's end      bytes cut
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log_format.h"
#include "log_record_walk.h"

namespace suite {

enum class LogAccountCause : std::int32_t {
  DayLogCap = 10901,
  WriterDrops = 10902,
  PendingFull = 10903,
  TornRecord = 10904,
};

// Room kept below kLogRolloverCap in every log for account records: ordinary
// records stop where it begins.
inline constexpr std::int64_t kLogAccountReserve = 4096;
inline constexpr std::int64_t kLogRecordLimit = kLogRolloverCap - kLogAccountReserve;

// The cap's count is rewritten in place, so its width never changes.
inline constexpr std::size_t kCapCountDigits = 10;
inline constexpr std::uint32_t kCapCountMax = 4294967295u;

std::u16string_view LogAccountMessage(LogAccountCause cause);

// The cause of an account record; nothing for any other record.
std::optional<LogAccountCause> LogAccountCauseOf(const LogRecordView& record);

// How many records an account says were not kept: its count (10901, 10902),
// its records (10903), or the one record cut (10904). Nothing when the value
// text is not of the cause's form.
std::optional<std::uint64_t> LogAccountRecordsNotKept(LogAccountCause cause,
                                                      std::u16string_view value);

// Value texts, each of the form its cause reads back. The cap's count comes
// as fixed digits too, to be rewritten in place without allocating.
std::array<char16_t, kCapCountDigits> CapCountDigits(std::uint32_t nCount);
std::u16string CapCountText(std::uint32_t nCount);
std::u16string CountText(std::uint64_t nCount);
// The drops' count stops at its ceiling instead of wrapping: an account of a
// count that stopped reads "<count> or more".
std::u16string DropCountText(std::uint64_t nCount, bool bSaturated);
std::u16string LeftOutText(std::uint64_t nRecords, std::uint64_t nBytes);

// What every account of one process names: the product and the host program
// as its records do, and this library as the calling module.
struct LogAccountIdentity {
  std::u16string productVersion;
  std::u16string appVersion;
  std::u16string appName;
  std::u16string moduleVersion;
  std::u16string moduleName;
};

// The whole record: header and string area, written as the entry points
// write a record (texts cut to fit their fields). May throw std::bad_alloc.
std::vector<std::uint8_t> LogAccountRecord(const LogAccountIdentity& identity,
                                           LogAccountCause cause, std::u16string_view value,
                                           const LogTime& time);

// The most bytes one account of `identity` takes, whatever its value.
std::size_t LogAccountRecordMaxBytes(const LogAccountIdentity& identity);

}  // namespace suite
