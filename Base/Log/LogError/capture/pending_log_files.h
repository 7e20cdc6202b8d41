// The pending log file "error.bf" and the files that stand beside it while it
// changes. Each name says what a leftover of a process that died means:
//
//   error.bf.tmp      records moved out of the active log file, not yet merged
//   error.bf.merge    the next pending log being written: only ever a copy
//   error.bf.merging  error.bf.tmp once error.bf.merge is complete: merged as
//                     soon as error.bf.merge has replaced error.bf, and not
//                     before
//   error.bf.rest     what a removal of sent records keeps, being written:
//                     only ever a copy
//
// error.bf itself only ever changes by one move over it or by its deletion,
// so it always reads to its end.
#pragma once

#include <cwchar>

#include "crt_operations.h"

struct LogFilePath {
  wchar_t text[kCrtPathCapacity + 16] = {};
};

struct PendingLogFiles {
  LogFilePath pending;
  LogFilePath staged;
  LogFilePath merge;
  LogFilePath merging;
  LogFilePath rest;
};

// Fixed buffers, so that nothing here can fail to allocate. An empty or
// over-long path gives empty names, which no file operation accepts.
PendingLogFiles PendingLogFilesFor(const wchar_t* pszPendingPath) noexcept;

bool LogFileExists(const LogFilePath& path) noexcept;

// Clears what a merge or a removal left when its process died, keeping every
// record exactly once. Call while owning the pending log's mutex, before
// anything else touches these files. True when no merge is left half-done.
bool SettlePendingLog(const PendingLogFiles& files) noexcept;
