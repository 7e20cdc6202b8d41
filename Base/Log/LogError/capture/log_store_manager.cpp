#include "log_store_manager.h"

#include <psapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "crt_operations.h"
#include "daily_rollover.h"
#include "log_exclusion.h"
#include "log_file_io.h"
#include "log_tail_repair.h"

CLogStoreManager g_logStoreManager;

namespace {

constexpr LONGLONG kHeaderBytes = sizeof(LogFileHeader);

}  // namespace

bool CLogStoreManager::WriteFileHeader(HANDLE hFile) {
  return WriteExactly(hFile, &kLogFileHeader, sizeof(kLogFileHeader));
}

void CLogStoreManager::Initialize() {
  FillText260(m_strActiveLogPath, [](wchar_t* buffer) {
    GetDataFilePath(L"error.Profile", buffer, kCrtPathCapacity, kCrtDataFolder, 0, 0);
  });
  FillText260(m_strProductVersion, [](wchar_t* buffer) {
    GetProductVersion(buffer, kCrtPathCapacity, kCrtProductVersionFlags);
  });
  FillText260(m_strAppName, [](wchar_t* buffer) {
    GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer, kCrtPathCapacity);
  });
  FillText260(m_strAppPath,
              [](wchar_t* buffer) { GetModuleFileNameW(nullptr, buffer, kCrtPathCapacity); });
  FillText260(m_strAppVersion, [this](wchar_t* buffer) {
    GetFileVersionText(m_strAppPath.c_str(), buffer, kCrtPathCapacity);
  });
  bool bFirst = false;
  m_activeLogMutex = OpenLogFilesMutex(LogFiles::Active, m_strActiveLogPath.c_str(), &bFirst);
  if (bFirst) {
    // No process had the mutex open, so the last writer may have died in the
    // middle of a write. The mutex is this process's from its creation: no
    // one appends behind a torn tail before it is cut.
    MutexHold hold = MutexHold::Adopt(m_activeLogMutex.get());
    RepairActiveLog();
  }
  if (IsRollOverDue()) RollOver(kLogErrorDateSetting);
}

void CLogStoreManager::RepairActiveLog() noexcept {
  if (!RepairTornTail(m_strActiveLogPath.c_str())) m_bTailMayBeTorn = true;
}

bool CLogStoreManager::AppendRecord(LogRecordHeader& header, const std::byte* pStrings,
                                    std::size_t nStringBytes) {
  if (nStringBytes > MAXDWORD - sizeof(LogRecordHeader) || !m_activeLogMutex) return false;
  const std::size_t nTotal = sizeof(LogRecordHeader) + nStringBytes;
  // Header and strings go out in one write, so a record is whole or absent.
  std::unique_ptr<std::byte[]> record(new (std::nothrow) std::byte[nTotal]);
  if (!record) return false;
  if (nStringBytes != 0) std::memcpy(record.get() + sizeof(header), pStrings, nStringBytes);

  const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
  MutexHold hold;
  const MutexWait wait = WaitUntil(m_activeLogMutex.get(), deadline, hold);
  if (wait == MutexWait::TimedOut) return false;
  // A writer that died owning the mutex may have left its record cut short.
  bool bRepair = wait == MutexWait::Abandoned || m_bTailMayBeTorn.load();
  UniqueFileHandle file;
  const bool bOpened = RetryWhileShared(m_activeLogMutex.get(), hold, deadline, bRepair, [&] {
    file = OpenLogFile(m_strActiveLogPath.c_str(), GENERIC_WRITE | (bRepair ? GENERIC_READ : 0),
                       FILE_SHARE_READ, OPEN_ALWAYS);
    return file.valid();
  });
  if (!bOpened) return false;

  SYSTEMTIME now;
  GetLocalTime(&now);
  static_assert(sizeof(now) == sizeof(header.Time));
  std::memcpy(&header.Time, &now, sizeof(now));
  std::memcpy(record.get(), &header, sizeof(header));
  return AppendOpen(file.get(), record.get(), nTotal, bRepair);
}

bool CLogStoreManager::AppendOpen(HANDLE hFile, const std::byte* pRecord, std::size_t nRecordBytes,
                                  bool bRepair) {
  LONGLONG nSize = 0;
  if (!FileSizeOf(hFile, nSize)) return false;
  // Never append behind a torn tail: the record would sit after bytes that
  // read as damage. Until the tail is cut, records are dropped instead.
  if (bRepair && !CutTornTail(hFile, nSize)) {
    m_bTailMayBeTorn = true;
    return false;
  }
  m_bTailMayBeTorn = false;

  // Too short for its header (a header write cut short), the file starts
  // afresh: header and record cover whatever bytes it had. Dying inside the
  // write leaves whole records and at most a torn tail after them, which the
  // next owner of the mutex cuts: it finds the mutex abandoned, or new.
  const bool bFresh = nSize < kHeaderBytes;
  const LONGLONG nStart = bFresh ? 0 : nSize;
  if (SeekTo(hFile, nStart) && (!bFresh || g_logStoreManager.WriteFileHeader(hFile)) &&
      WriteExactly(hFile, pRecord, nRecordBytes)) {
    return true;
  }
  // Cut back to where the record began, so that no torn record stays; where
  // even that fails, the next append of this process cuts it first.
  if (!TruncateAt(hFile, nStart)) m_bTailMayBeTorn = true;
  return false;
}
