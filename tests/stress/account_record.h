// The log's own account records among the records a run finds: ordinary
// Warning records in which the log says how many records it could not keep.
// Known, as the library knows them, by kind, code and fixed message.
#pragma once

#include <cstdint>
#include <optional>

#include "format/log_accounts.h"
#include "found_record.h"

namespace stress {

using namespace suite;

struct FoundAccount {
  LogAccountCause cause = LogAccountCause::DayLogCap;
  // Records not kept by one such record (not yet times its folded count);
  // nothing when its value is not of its cause's form.
  std::optional<std::uint64_t> nNotKept;
};

// Nothing for a record that is not an account.
std::optional<FoundAccount> AccountOf(const FoundRecord& record);

}  // namespace stress
