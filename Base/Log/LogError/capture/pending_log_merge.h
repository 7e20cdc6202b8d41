// The roll-over's merge of staged records (error.bf.tmp) into the pending log
// file, within kLogRolloverCap.
#pragma once

#include "pending_log_files.h"

// Brings the records of the staged file into error.bf, or discards whole
// files where the cap requires it. Call while owning the pending log's mutex,
// after SettlePendingLog. When error.bf cannot be replaced (a report being
// read holds it), the staged file stays for the next roll-over.
void MergeStagedIntoPending(const PendingLogFiles& files) noexcept;
