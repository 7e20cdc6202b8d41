// The shipped build's file calls: the platform's, with nothing in between.
#ifndef LOGERROR_FAULT_SEAM

#include "file_io_platform.h"

namespace suite {

HANDLE IoOpen(const wchar_t* pszPath, DWORD nAccess, DWORD nShare, DWORD nDisposition) noexcept {
  return OpenMakingFolder(pszPath, nAccess, nShare, nDisposition);
}

BOOL IoSize(HANDLE hFile, LARGE_INTEGER* pSize) noexcept { return GetFileSizeEx(hFile, pSize); }

BOOL IoSeek(HANDLE hFile, LONGLONG nOffset) noexcept {
  LARGE_INTEGER position;
  position.QuadPart = nOffset;
  return SetFilePointerEx(hFile, position, nullptr, FILE_BEGIN);
}

BOOL IoRead(HANDLE hFile, void* pBuffer, DWORD nBytes, DWORD* pRead) noexcept {
  return ReadFile(hFile, pBuffer, nBytes, pRead, nullptr);
}

BOOL IoWrite(HANDLE hFile, const void* pData, DWORD nBytes, DWORD* pWritten) noexcept {
  return WriteFile(hFile, pData, nBytes, pWritten, nullptr);
}

BOOL IoFlush(HANDLE hFile) noexcept { return FlushFileBuffers(hFile); }

BOOL IoTruncate(HANDLE hFile) noexcept { return SetEndOfFile(hFile); }

BOOL IoMove(const wchar_t* pszFrom, const wchar_t* pszTo, DWORD nFlags) noexcept {
  return MoveFileExW(pszFrom, pszTo, nFlags);
}

BOOL IoDelete(const wchar_t* pszPath) noexcept { return DeleteFileW(pszPath); }

}  // namespace suite

#endif  // LOGERROR_FAULT_SEAM
