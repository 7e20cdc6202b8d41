// Test builds only: the library's file calls pass through here, counted, and
// the one a test armed fails, comes up short or ends the process. The calls
// themselves are the platform's; nothing is imitated.
#ifdef LOGERROR_FAULT_SEAM

#include "file_io_seam.h"

#include <atomic>
#include <cwchar>

#include "file_io_platform.h"

namespace suite {

namespace {

std::atomic<LONG> g_nCalls{0};
std::atomic<LONG> g_nFailAt{0};
std::atomic<LONG> g_nMode{kFileFaultNone};
std::atomic<LONGLONG> g_nBytesWritten{0};

LONG EnvironmentNumber(const wchar_t* pszName) noexcept {
  wchar_t text[32] = {};
  const DWORD length = GetEnvironmentVariableW(pszName, text, 32);
  return length > 0 && length < 32 ? std::wcstol(text, nullptr, 10) : 0;
}

struct ArmFromEnvironment {
  ArmFromEnvironment() noexcept {
    g_nFailAt = EnvironmentNumber(kFileFaultAtVariable);
    g_nMode = EnvironmentNumber(kFileFaultModeVariable);
  }
} g_armFromEnvironment;

LONG NextCallFault() noexcept {
  const LONG call = ++g_nCalls;
  return call == g_nFailAt.load() ? g_nMode.load() : kFileFaultNone;
}

[[noreturn]] void EndProcess() noexcept {
  TerminateProcess(GetCurrentProcess(), kFileFaultCrashExitCode);
  for (;;) Sleep(INFINITE);
}

// For calls that move no bytes: a short one is a failed one.
bool FailsOrEnds(DWORD nError) noexcept {
  const LONG fault = NextCallFault();
  if (fault == kFileFaultCrash) EndProcess();
  if (fault == kFileFaultNone) return false;
  SetLastError(nError);
  return true;
}

BOOL WriteFaulted(HANDLE hFile, const void* pData, DWORD nBytes, DWORD* pWritten) noexcept {
  switch (NextCallFault()) {
    case kFileFaultCrash:
      WriteFile(hFile, pData, nBytes / 2, pWritten, nullptr);
      EndProcess();
    case kFileFaultFail:
      SetLastError(ERROR_DISK_FULL);
      return FALSE;
    case kFileFaultShort:
      return WriteFile(hFile, pData, nBytes / 2, pWritten, nullptr);
    default:
      return WriteFile(hFile, pData, nBytes, pWritten, nullptr);
  }
}

}  // namespace

extern "C" __declspec(dllexport) LONG WINAPI LogErrorFaultSeam(LONG nFailAt, LONG nMode) noexcept {
  g_nFailAt = nFailAt;
  g_nMode = nMode;
  g_nBytesWritten = 0;
  return g_nCalls.exchange(0);
}

extern "C" __declspec(dllexport) LONGLONG WINAPI LogErrorFaultSeamBytesWritten() noexcept {
  return g_nBytesWritten.load();
}

HANDLE IoOpen(const wchar_t* pszPath, DWORD nAccess, DWORD nShare, DWORD nDisposition) noexcept {
  if (FailsOrEnds(ERROR_ACCESS_DENIED)) return INVALID_HANDLE_VALUE;
  return OpenMakingFolder(pszPath, nAccess, nShare, nDisposition);
}

BOOL IoSize(HANDLE hFile, LARGE_INTEGER* pSize) noexcept {
  return !FailsOrEnds(ERROR_READ_FAULT) && GetFileSizeEx(hFile, pSize);
}

BOOL IoSeek(HANDLE hFile, LONGLONG nOffset) noexcept {
  if (FailsOrEnds(ERROR_SEEK)) return FALSE;
  LARGE_INTEGER position;
  position.QuadPart = nOffset;
  return SetFilePointerEx(hFile, position, nullptr, FILE_BEGIN);
}

BOOL IoRead(HANDLE hFile, void* pBuffer, DWORD nBytes, DWORD* pRead) noexcept {
  switch (NextCallFault()) {
    case kFileFaultCrash:
      EndProcess();
    case kFileFaultFail:
      SetLastError(ERROR_READ_FAULT);
      return FALSE;
    case kFileFaultShort:
      return ReadFile(hFile, pBuffer, nBytes / 2, pRead, nullptr);
    default:
      return ReadFile(hFile, pBuffer, nBytes, pRead, nullptr);
  }
}

BOOL IoWrite(HANDLE hFile, const void* pData, DWORD nBytes, DWORD* pWritten) noexcept {
  const BOOL bWritten = WriteFaulted(hFile, pData, nBytes, pWritten);
  if (bWritten) g_nBytesWritten += *pWritten;
  return bWritten;
}

BOOL IoFlush(HANDLE hFile) noexcept {
  return !FailsOrEnds(ERROR_WRITE_FAULT) && FlushFileBuffers(hFile);
}

BOOL IoTruncate(HANDLE hFile) noexcept {
  return !FailsOrEnds(ERROR_DISK_FULL) && SetEndOfFile(hFile);
}

BOOL IoMove(const wchar_t* pszFrom, const wchar_t* pszTo, DWORD nFlags) noexcept {
  return !FailsOrEnds(ERROR_ACCESS_DENIED) && MoveFileExW(pszFrom, pszTo, nFlags);
}

BOOL IoDelete(const wchar_t* pszPath) noexcept {
  return !FailsOrEnds(ERROR_ACCESS_DENIED) && DeleteFileW(pszPath);
}

}  // namespace suite

#endif  // LOGERROR_FAULT_SEAM
