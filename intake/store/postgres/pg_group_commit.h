// One group of uploads committed in one transaction on one session. Called
// by the store with a session of its own; the session is left outside any
// transaction whatever happens.
#pragma once

#include <vector>

#include "store/postgres/pg_connection.h"
#include "store/postgres/pg_day_partitions.h"
#include "store/store.h"

namespace intake::pg {

// What a 503 asks the client to wait before it retries.
inline constexpr std::uint32_t kRetryAfterUnavailableSeconds = 5;

std::vector<CommitResult> CommitGroupOn(Connection& conn, DayPartitions& partitions,
                                        const std::vector<const FoldedUpload*>& uploads,
                                        UnixSeconds now, const RateLimit& limit);

}  // namespace intake::pg
