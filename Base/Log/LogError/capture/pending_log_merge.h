// The roll-over's merge of staged records (error.bf.tmp) into the pending log
// file, within kLogRolloverCap, keeping error.bf whole.
#pragma once

#include "log_accounts.h"
#include "pending_log_files.h"

// Brings the records of the staged file into error.bf: all of them when they
// fit within the cap, else its earliest and its accounts, with an account of
// the rest written as `identity`. Call while owning the pending log's mutex,
// after SettlePendingLog. When error.bf cannot be replaced (a report being
// read holds it), or not even the accounts fit beside it, the staged file
// stays for the next roll-over.
void MergeStagedIntoPending(const PendingLogFiles& files,
                            const LogAccountIdentity& identity) noexcept;
