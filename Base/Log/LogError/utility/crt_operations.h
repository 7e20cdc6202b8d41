// The utility library's operations as this library calls them. They are
// imported from crt.dll by ordinal only (crt.def marks every export NONAME).
#pragma once

#include "crt_api.h"

// Arguments whose meaning lies in the utility library.
inline constexpr int kCrtDataFolder = 4;  // GetDataFilePath: the suite's data folder
inline constexpr int kCrtStore = 1;       // settings store of the suite
inline constexpr int kCrtProductVersionFlags = 1;
inline constexpr DWORD kCrtPathCapacity = 260;  // every path and text buffer, terminator included
