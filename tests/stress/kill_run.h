// The kill run: processes of the suite are ended at random moments while
// they append, while their process entry rolls the log over, and while they
// mark a report sent. No record of a call that had returned may be lost, no
// file may keep damage, and a writer started afterwards must not block.
#pragma once

#include "driver_options.h"

namespace stress {

// 0 when every check held.
int RunKill(DriverOptions& options);

}  // namespace stress
