// The one way this library reads, writes, moves and removes log bytes: the
// writer, the roll-over and the removal of sent records all come through
// here, so the fault seam of the test builds sits in one place below it.
// Every operation reports success as true; a short read or write is a
// failure. None throws.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Win/unique_resource.h"

namespace suite {

// Through crt.dll's OpenFileHandle, which creates the folder when the
// disposition may create the file.
UniqueFileHandle OpenLogFile(const wchar_t* pszPath, DWORD nAccess, DWORD nShare,
                             DWORD nDisposition) noexcept;
bool FileSizeOf(HANDLE hFile, LONGLONG& nSize) noexcept;
bool SeekTo(HANDLE hFile, LONGLONG nOffset) noexcept;
bool ReadExactly(HANDLE hFile, void* pBuffer, std::size_t nBytes) noexcept;
bool WriteExactly(HANDLE hFile, const void* pData, std::size_t nBytes) noexcept;
bool FlushFile(HANDLE hFile) noexcept;
// Cuts the file at `nOffset`.
bool TruncateAt(HANDLE hFile, LONGLONG nOffset) noexcept;
// Moves a file to a name that must be free; the move reaches the disk
// before this returns.
bool MoveLogFile(const wchar_t* pszFrom, const wchar_t* pszTo) noexcept;
// Moves a file over another in one step: afterwards the target holds either
// its old bytes or all of the new ones, whatever happens meanwhile.
bool ReplaceLogFile(const wchar_t* pszFrom, const wchar_t* pszTo) noexcept;
bool DeleteLogFile(const wchar_t* pszPath) noexcept;

// A whole file's bytes, in a block aligned for the record walk.
struct FileBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
};
// Reads the file from its start, which must hold at most `nMaxBytes`; `out`
// is left empty on failure.
bool ReadWholeFile(HANDLE hFile, LONGLONG nMaxBytes, FileBytes& out) noexcept;

}  // namespace suite
