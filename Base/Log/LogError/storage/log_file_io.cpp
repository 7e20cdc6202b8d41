#include "log_file_io.h"

#include <new>

#include "file_io_platform.h"

namespace suite {

UniqueFileHandle OpenLogFile(const wchar_t* pszPath, DWORD nAccess, DWORD nShare,
                             DWORD nDisposition) noexcept {
  return UniqueFileHandle::Adopt(IoOpen(pszPath, nAccess, nShare, nDisposition));
}

bool FileSizeOf(HANDLE hFile, LONGLONG& nSize) noexcept {
  LARGE_INTEGER size;
  if (!IoSize(hFile, &size)) return false;
  nSize = size.QuadPart;
  return true;
}

bool SeekTo(HANDLE hFile, LONGLONG nOffset) noexcept { return IoSeek(hFile, nOffset) != FALSE; }

bool ReadExactly(HANDLE hFile, void* pBuffer, std::size_t nBytes) noexcept {
  if (nBytes > MAXDWORD) return false;
  DWORD nRead = 0;
  return IoRead(hFile, pBuffer, static_cast<DWORD>(nBytes), &nRead) && nRead == nBytes;
}

bool WriteExactly(HANDLE hFile, const void* pData, std::size_t nBytes) noexcept {
  if (nBytes > MAXDWORD) return false;
  if (nBytes == 0) return true;
  DWORD nWritten = 0;
  return IoWrite(hFile, pData, static_cast<DWORD>(nBytes), &nWritten) && nWritten == nBytes;
}

bool FlushFile(HANDLE hFile) noexcept { return IoFlush(hFile) != FALSE; }

bool TruncateAt(HANDLE hFile, LONGLONG nOffset) noexcept {
  return SeekTo(hFile, nOffset) && IoTruncate(hFile);
}

bool MoveLogFile(const wchar_t* pszFrom, const wchar_t* pszTo) noexcept {
  return IoMove(pszFrom, pszTo, MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool ReplaceLogFile(const wchar_t* pszFrom, const wchar_t* pszTo) noexcept {
  return IoMove(pszFrom, pszTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool DeleteLogFile(const wchar_t* pszPath) noexcept { return IoDelete(pszPath) != FALSE; }

bool ReadWholeFile(HANDLE hFile, LONGLONG nMaxBytes, FileBytes& out) noexcept {
  out = {};
  LONGLONG nSize = 0;
  if (!FileSizeOf(hFile, nSize) || nSize < 0 || nSize > nMaxBytes || nSize > MAXDWORD ||
      !SeekTo(hFile, 0)) {
    return false;
  }
  const auto nBytes = static_cast<std::size_t>(nSize);
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[nBytes == 0 ? 1 : nBytes]);
  if (!block || !ReadExactly(hFile, block.get(), nBytes)) return false;
  out.data = std::move(block);
  out.size = nBytes;
  return true;
}

}  // namespace suite
