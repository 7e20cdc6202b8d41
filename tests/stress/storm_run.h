// The storm run: far more records in one day than the logs may hold, from
// several writers at once, onto a pending log that already holds records.
// The day's log must stay within its cap at every moment, the roll-over must
// keep the pending log whole and the day's earliest records in order, and
// the accounts must say exactly how many records were not kept.
#pragma once

#include "driver_options.h"

namespace stress {

// 0 when every check held.
int RunStorm(DriverOptions& options);

}  // namespace stress
