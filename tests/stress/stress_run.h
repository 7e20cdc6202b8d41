// The stress run: writer processes log at full speed while roll-overs are
// forced and a client sends reports; at the end every record logged must be
// found exactly once.
#pragma once

#include "driver_options.h"

namespace stress {

// 0 when nothing was lost, torn, doubled or altered.
int RunStress(DriverOptions& options);

}  // namespace stress
