#include "log_exclusion.h"

#include <string>

namespace suite {

UniqueKernelHandle OpenLogFilesMutex(LogFiles which, const wchar_t* pszFilePath,
                                     bool* pbCreatedOwned) {
  const std::wstring folder = FolderOfFile(pszFilePath);
  return OpenFolderMutex(
      which == LogFiles::Active ? kActiveLogMutexPurpose : kPendingLogMutexPurpose, folder.c_str(),
      pbCreatedOwned);
}

Deadline Deadline::After(DWORD milliseconds) noexcept {
  Deadline deadline;
  deadline.m_nEndTick = GetTickCount64() + milliseconds;
  return deadline;
}

DWORD Deadline::Remaining() const noexcept {
  const ULONGLONG now = GetTickCount64();
  return now >= m_nEndTick ? 0 : static_cast<DWORD>(m_nEndTick - now);
}

MutexWait WaitUntil(HANDLE mutex, const Deadline& deadline, MutexHold& hold) noexcept {
  return WaitForMutex(mutex, deadline.Remaining(), hold);
}

}  // namespace suite
