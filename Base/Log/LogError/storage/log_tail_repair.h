// Cutting a record that a write cut short left at the end of a log file, as
// a writer that died in the middle of an append leaves it.
#pragma once

#include <windows.h>

namespace suite {

// Where the whole records of the file end (WholeRecordsEnd): judged from its
// last bytes when they end on a whole record, else from all of them. `hFile`
// is open for reading at `nSize` bytes. False when it could not be read, or
// holds more than kLogReadableBytes.
bool FindWholeRecordsEnd(HANDLE hFile, LONGLONG nSize, LONGLONG& nEnd) noexcept;

// `hFile` is open for reading and writing at `nSize` bytes; `nSize` becomes
// the size after the cut. Reads, then truncates once: the records before the
// tail are never touched, and dying meanwhile leaves the tail for the next
// repair. False when the file could not be read or cut.
bool CutTornTail(HANDLE hFile, LONGLONG& nSize) noexcept;

// The same for the file at `pszPath`, opened for the purpose. True when
// nothing is left to cut, a missing file included.
bool RepairTornTail(const wchar_t* pszPath) noexcept;

}  // namespace suite
