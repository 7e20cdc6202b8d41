// The platform's file calls as this library makes them on log files. Shipped
// builds call straight through (file_io_platform.cpp); test builds put the
// fault seam between the library and the platform (file_io_seam.cpp), so that
// the Nth call can fail, come up short, or end the process.
//
// Each behaves as the platform call it names, last error included.
#pragma once

#include <windows.h>

#include "utility/crt_operations.h"

namespace suite {

// OpenFileHandle of crt.dll, creating the folder when the file may be created.
HANDLE IoOpen(const wchar_t* pszPath, DWORD nAccess, DWORD nShare, DWORD nDisposition) noexcept;
BOOL IoSize(HANDLE hFile, LARGE_INTEGER* pSize) noexcept;
BOOL IoSeek(HANDLE hFile, LONGLONG nOffset) noexcept;
BOOL IoRead(HANDLE hFile, void* pBuffer, DWORD nBytes, DWORD* pRead) noexcept;
BOOL IoWrite(HANDLE hFile, const void* pData, DWORD nBytes, DWORD* pWritten) noexcept;
BOOL IoFlush(HANDLE hFile) noexcept;
// SetEndOfFile at the current position.
BOOL IoTruncate(HANDLE hFile) noexcept;
BOOL IoMove(const wchar_t* pszFrom, const wchar_t* pszTo, DWORD nFlags) noexcept;
BOOL IoDelete(const wchar_t* pszPath) noexcept;

// IoOpen's platform call. The folder is made only once an open finds it
// missing: asking first would cost every record a file-system query.
inline HANDLE OpenMakingFolder(const wchar_t* pszPath, DWORD nAccess, DWORD nShare,
                               DWORD nDisposition) noexcept {
  auto open = [&](DWORD nCrtFlags) {
    return OpenFileHandle(pszPath, nAccess, nShare, nullptr, nDisposition, FILE_ATTRIBUTE_NORMAL,
                          nullptr, nCrtFlags);
  };
  HANDLE hFile = open(0);
  if (hFile == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
      nDisposition != OPEN_EXISTING && nDisposition != TRUNCATE_EXISTING) {
    hFile = open(kOpenCreateFolder);
  }
  return hFile;
}

}  // namespace suite
