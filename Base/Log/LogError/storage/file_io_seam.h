// The fault seam of the test builds, as tests drive it. Only a library built
// with LOGERROR_FAULT_SEAM has it; the shipped one does not.
//
// Every file call the library makes on log files is counted from 1. The call
// whose number is armed fails (open, read, write, flush, truncate, move,
// delete alike), comes up short (a read or write moves half its bytes and
// reports that; other calls fail), or ends the process (a write first moves
// half its bytes). Arming happens at load from the environment, so that the
// roll-over, which runs inside the load, can be reached, or later through
// the export.
#pragma once

#include <windows.h>

namespace suite {

enum FileFault : LONG {
  kFileFaultNone = 0,
  kFileFaultFail = 1,
  kFileFaultShort = 2,
  kFileFaultCrash = 3,
};

inline constexpr wchar_t kFileFaultAtVariable[] = L"LOGERROR_FAULT_AT";
inline constexpr wchar_t kFileFaultModeVariable[] = L"LOGERROR_FAULT_MODE";
inline constexpr UINT kFileFaultCrashExitCode = 0xFA17;

// The export: arms call `nFailAt` (0 disarms) with `nMode`, restarts the
// count, and returns how many calls were counted since the last arming.
inline constexpr char kFileFaultSeamExport[] = "LogErrorFaultSeam";
using FileFaultSeamFunction = LONG(WINAPI*)(LONG nFailAt, LONG nMode);
// The bytes that file calls wrote since the last arming.
inline constexpr char kFileFaultBytesExport[] = "LogErrorFaultSeamBytesWritten";
using FileFaultBytesFunction = LONGLONG(WINAPI*)();

}  // namespace suite
