// The journal file of an append to error.bf (log_append_journal.h): written
// before the append, read by recovery.
#pragma once

#include <optional>

#include "format/log_append_journal.h"
#include "pending_log.h"
#include "storage/staged_log_reader.h"

namespace suite {

// Writes the journal and flushes it. False when it may not be on disk.
bool WriteAppendJournal(const LogFilePath& path, const LogAppendJournal& journal) noexcept;

// The journal at `path`; none when missing, unreadable or not one.
std::optional<LogAppendJournal> ReadAppendJournal(const LogFilePath& path) noexcept;

// The mark a journal gives the staged file open in `staged`; none when its
// bytes cannot be read.
std::optional<LogStagedMark> StagedMarkOf(StagedLogReader& staged) noexcept;

// Undoes an append that a process died in before it was committed, and
// drops the journal: while the staged file that the journal names still
// holds the records, error.bf is cut back to its length before the append;
// once that file is gone, the append is whole, and a staged file it does not
// name holds a later day's records. A journal that does not enclose
// error.bf's size speaks of another file and goes without a change. False
// when the journal stays because error.bf could not be cut, or the staged
// file not told, now.
bool RecoverAppend(const PendingLogFiles& files) noexcept;

}  // namespace suite
