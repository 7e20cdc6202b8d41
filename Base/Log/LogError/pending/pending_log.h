// The pending log file "error.bf": its one owner. Everything that changes it
// comes through here: the roll-over's append of a staged day's log, the
// accounts that append writes, recovery from an append or a removal that a
// process died in, and the removal of what a report delivered. Call each
// while owning the pending log's mutex (LogFiles::Pending), except
// RemoveReportedBytes, which takes it itself.
//
// The files that stand beside it; each name says what a leftover means:
//
//   error.bf.tmp      records moved out of the active log file, not yet merged
//   error.bf.journal  an append of error.bf.tmp to error.bf in progress: the
//                     lengths of error.bf before and after it, and the
//                     staged file it reads (log_append_journal.h)
//   error.bf.rest     what a removal of sent records keeps, being written:
//                     only ever a copy
//   error.bf.merge, error.bf.merging
//                     a merge by copy, as earlier builds made it: settled,
//                     never written
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "format/log_accounts.h"
#include "utility/crt_operations.h"

namespace suite {

struct LogFilePath {
  wchar_t text[kCrtPathCapacity + 16] = {};
};

struct PendingLogFiles {
  LogFilePath pending;
  LogFilePath staged;
  LogFilePath journal;
  LogFilePath rest;
  LogFilePath merge;
  LogFilePath merging;
};

// Fixed buffers, so that nothing here can fail to allocate. An empty or
// over-long path gives empty names, which no file operation accepts.
PendingLogFiles PendingLogFilesFor(const wchar_t* pszPendingPath) noexcept;

bool LogFileExists(const LogFilePath& path) noexcept;

// Clears what an append or a removal left when its process died, keeping
// every record exactly once. Call before anything else touches these files.
// True when nothing is left half-done; otherwise error.bf must not change.
bool SettlePendingLog(const PendingLogFiles& files) noexcept;

// Appends the records of the staged file to error.bf: all of them when they
// fit within the cap, else its earliest and its accounts, with an account of
// the rest written as `identity`. Call after SettlePendingLog. When error.bf
// cannot be had alone (a report being read holds it) or holds more than
// kLogReadableBytes, when the staged file's size or bytes cannot be read, or
// when not even the accounts fit, the staged file stays for the next
// roll-over. A journal whose delete failed after the commit may stay: settle
// again before another file takes the staged name.
void MergeStagedIntoPending(const PendingLogFiles& files,
                            const LogAccountIdentity& identity) noexcept;

// When the file at pszPath still starts with the nReported bytes at
// pReported (a whole file as it was read: header and records), those bytes
// go: the file is deleted when nothing follows them, otherwise it is
// replaced in one step by a fresh file header and what follows. The bytes
// are known by their whole records, so a torn tail or odd last byte that a
// roll-over cut off since, appending after them, does not keep them. Any
// other file is left alone, and so is one that the pending log's mutex or
// the file itself cannot be had for within kLogExclusionBoundMs: a delete or
// replace refused because another handle holds the file is retried until
// then, owning the mutex. A process that dies at any moment leaves the old
// file or the new one, never a torn one.
void RemoveReportedBytes(const wchar_t* pszPath, const std::uint8_t* pReported,
                         std::size_t nReported) noexcept;

}  // namespace suite
