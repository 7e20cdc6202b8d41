// Account records: the Warnings in which a client's log says what it could
// not keep, known by code and the library's fixed message together.
#pragma once

#include <cstdint>
#include <optional>

#include "contract/upload.h"
#include "fold/folded_upload.h"

namespace intake {

// The cause when `item` is an account record, else none.
std::optional<LossCause> AccountCause(const ReportItem& item);

// The records lost that the account stands for, times its Count: the number
// in Value for 10901 and 10902, the N of "N records, M bytes" for 10903, the
// Count alone for 10904 (whose value is bytes). An absent or unreadable
// number counts as one record per account, the least any account stands
// for. Saturates at 2^64 - 1.
std::uint64_t RecordsLost(LossCause cause, const ReportItem& item);

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b);

}  // namespace intake
