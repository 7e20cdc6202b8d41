#include "log_store_manager.h"

#include <psapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "daily_rollover.h"
#include "storage/log_exclusion.h"
#include "storage/log_file_io.h"
#include "storage/log_tail_repair.h"
#include "utility/crt_operations.h"

namespace suite {

CLogStoreManager g_logStoreManager;

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
  FillAccountIdentity();
  m_accounts.Open(m_strActiveLogPath.c_str());
  {
    MutexHold first;
    if (m_gate.Open(m_strActiveLogPath.c_str(), &first) && first) {
      // No process had the mutex open, so the last writer may have died in
      // the middle of a write. The mutex is this process's from its creation:
      // no one appends behind a torn tail before it is cut.
      m_gate.BeginWrite();
      m_gate.EndWrite(SettleActiveLogInTurn(true), true);
    }
  }
  if (IsRollOverDue()) RollOver(kLogErrorDateSetting, m_gate);
}

void CLogStoreManager::FillAccountIdentity() {
  // Named as a call with this library's own module handle names its module.
  HMODULE hSelf = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&g_logStoreManager), &hSelf);
  std::wstring modulePath;
  std::wstring moduleName;
  std::wstring moduleVersion;
  FillText260(modulePath,
              [hSelf](wchar_t* buffer) { GetModuleFileNameW(hSelf, buffer, kCrtPathCapacity); });
  FillText260(moduleName, [hSelf](wchar_t* buffer) {
    GetModuleBaseNameW(GetCurrentProcess(), hSelf, buffer, kCrtPathCapacity);
  });
  FillText260(moduleVersion, [&modulePath](wchar_t* buffer) {
    GetFileVersionText(modulePath.c_str(), buffer, kCrtPathCapacity);
  });
  const auto u16 = [](const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
  };
  m_accountIdentity = {u16(m_strProductVersion), u16(m_strAppVersion), u16(m_strAppName),
                       u16(moduleVersion), u16(moduleName)};
}

bool CLogStoreManager::AppendRecord(LogRecordHeader& header, const std::byte* pStrings,
                                    std::size_t nStringBytes) {
  bool bRefused = false;
  if (AppendRecordInTurn(header, pStrings, nStringBytes, bRefused)) return true;
  if (!bRefused) m_accounts.CountDrop();
  return false;
}

bool CLogStoreManager::AppendRecordInTurn(LogRecordHeader& header, const std::byte* pStrings,
                                          std::size_t nStringBytes, bool& bRefused) {
  if (nStringBytes > MAXDWORD - sizeof(LogRecordHeader)) return false;
  const std::size_t nTotal = sizeof(LogRecordHeader) + nStringBytes;
  // Header and strings go out in one write, so a record is whole or absent.
  std::unique_ptr<std::byte[]> record(new (std::nothrow) std::byte[nTotal]);
  if (!record) return false;
  if (nStringBytes != 0) std::memcpy(record.get() + sizeof(header), pStrings, nStringBytes);

  // Declared in this order so that the file closes before the mutex goes,
  // and the mutex before this writer leaves the queue.
  ActiveLogGate::Membership queued;
  MutexHold hold;
  UniqueFileHandle file;
  bool bRepair = false;
  if (!m_gate.mutex()) {
    // No mutex to queue on: the share mode alone lets one writer in at a
    // time, so the file is tried until the bound.
    const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
    if (!OpenActiveLogUntil(deadline, file)) return false;
  } else if (m_gate.MayGoAhead()) {
    file = OpenActiveLog();
  }
  if (!file) {
    queued = m_gate.Join();
    const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
    const MutexWait wait = WaitUntil(m_gate.mutex(), deadline, hold);
    if (wait == MutexWait::TimedOut) return false;
    // A writer that died owning the mutex may have left its record cut short.
    bRepair = wait == MutexWait::Abandoned;
    if (!OpenActiveLogUntil(deadline, file)) return false;
  }
  bRepair = m_gate.BeginWrite() || bRepair;

  SYSTEMTIME now;
  GetLocalTime(&now);
  static_assert(sizeof(now) == sizeof(header.Time));
  std::memcpy(&header.Time, &now, sizeof(now));
  std::memcpy(record.get(), &header, sizeof(header));
  bool bTailWhole = false;
  const AppendOutcome outcome = AppendOpen(file.get(), record.get(), nTotal, bRepair, bTailWhole);
  m_gate.EndWrite(bTailWhole, hold.valid());
  bRefused = outcome == AppendOutcome::Refused;
  return outcome == AppendOutcome::Appended;
}

bool CLogStoreManager::SettleActiveLogInTurn(bool bRepair) noexcept {
  const bool bDue = m_accounts.Dropped() != 0;
  if (!bRepair && !bDue) return true;
  // Drops due are written into a day's log of their own if need be. A writer
  // that went ahead of the queue, or one without the mutex, may still have
  // the file for a moment.
  UniqueFileHandle file;
  const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
  const bool bOpened = RetryWhileShared(deadline, [&] {
    file = OpenLogFile(m_strActiveLogPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                       bDue ? OPEN_ALWAYS : OPEN_EXISTING);
    return file.valid();
  });
  if (!bOpened) {
    const DWORD error = GetLastError();
    return !bDue && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  }
  bool bTailWhole = false;
  AppendOpen(file.get(), nullptr, 0, bRepair, bTailWhole);
  return bTailWhole;
}

UniqueFileHandle CLogStoreManager::OpenActiveLog() const noexcept {
  // Reading too, for the rare append that must first cut a torn tail: it
  // learns so only once it has the file.
  return OpenLogFile(m_strActiveLogPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     OPEN_ALWAYS);
}

bool CLogStoreManager::OpenActiveLogUntil(const Deadline& deadline,
                                          UniqueFileHandle& file) const noexcept {
  return RetryWhileShared(deadline, [&] {
    file = OpenActiveLog();
    return file.valid();
  });
}

AppendOutcome CLogStoreManager::AppendOpen(HANDLE hFile, const std::byte* pRecord,
                                           std::size_t nRecordBytes, bool bRepair,
                                           bool& bTailWhole) {
  constexpr AppendOutcome kFailed = AppendOutcome::Failed;
  LONGLONG nSize = 0;
  bTailWhole = !bRepair;
  if (!FileSizeOf(hFile, nSize)) return kFailed;
  // Records are of even length, so an odd size is damage done outside the
  // suite; its last byte goes with the repair (see EvenEnd).
  if ((nSize & 1) != 0) {
    bRepair = true;
    bTailWhole = false;
  }
  // Never append behind a torn tail: the record would sit after bytes that
  // read as damage. Until the tail is cut, records are dropped instead.
  LONGLONG nTornBytes = 0;
  if (bRepair) {
    const LONGLONG nBefore = nSize;
    if (!CutTornTail(hFile, nSize)) return kFailed;
    nTornBytes = nBefore - nSize;
    if ((nSize & 1) != 0) {
      if (!TruncateAt(hFile, nSize - 1)) return kFailed;
      --nSize;
    }
    bTailWhole = true;
  }

  // Too short for its header (a header write cut short), the file starts
  // afresh: header and record cover whatever bytes it had. Dying inside the
  // write leaves whole records and at most a torn tail after them, which the
  // next writer cuts: it finds the write begun and never ended, or the mutex
  // abandoned, or new.
  const bool bFresh = nSize < static_cast<LONGLONG>(kLogFileHeaderBytes);
  const LONGLONG nStart = bFresh ? 0 : nSize;
  if (bFresh && pRecord == nullptr && m_accounts.Dropped() == 0) return AppendOutcome::Appended;
  if (bFresh && (!SeekTo(hFile, 0) || !g_logStoreManager.WriteFileHeader(hFile))) {
    // Cut back to where the record began, so that no torn record stays;
    // where even that fails, the next writer cuts it first.
    bTailWhole = TruncateAt(hFile, nStart);
    return kFailed;
  }
  const ActiveLogTurn turn = {hFile, bFresh ? static_cast<LONGLONG>(kLogFileHeaderBytes) : nSize,
                              nStart, nTornBytes};
  return AppendInTurn(turn, pRecord, nRecordBytes, m_accounts, m_accountIdentity, bTailWhole);
}

}  // namespace suite
