#include "log_store_manager.h"

#include <psapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "crt_operations.h"
#include "daily_rollover.h"
#include "shared_open.h"
#include "unique_resource.h"

CLogStoreManager g_logStoreManager;

namespace {

bool WriteAll(HANDLE hFile, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(hFile, data, size, &written, nullptr) && written == size;
}

// Cuts the file back to `offset`, so that a failed write leaves no torn record.
void TruncateTo(HANDLE hFile, LONGLONG offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (SetFilePointerEx(hFile, position, nullptr, FILE_BEGIN)) SetEndOfFile(hFile);
}

}  // namespace

bool CLogStoreManager::WriteFileHeader(HANDLE hFile) {
  return WriteAll(hFile, &kLogFileHeader, sizeof(kLogFileHeader));
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
  if (IsRollOverDue()) RollOver(kLogErrorDateSetting);
}

bool CLogStoreManager::AppendRecord(LogRecordHeader& header, const std::byte* pStrings,
                                    std::size_t nStringBytes) {
  const std::size_t total = sizeof(LogRecordHeader) + nStringBytes;
  if (nStringBytes > MAXDWORD - sizeof(LogRecordHeader)) return false;
  // Header and strings go out in one write, so a record is whole or absent.
  std::unique_ptr<std::byte[]> record(new (std::nothrow) std::byte[total]);
  if (!record) return false;

  std::lock_guard<std::mutex> guard(m_appendLock);
  SYSTEMTIME now;
  GetLocalTime(&now);
  static_assert(sizeof(now) == sizeof(header.Time));
  std::memcpy(&header.Time, &now, sizeof(now));
  std::memcpy(record.get(), &header, sizeof(header));
  if (nStringBytes != 0) std::memcpy(record.get() + sizeof(header), pStrings, nStringBytes);

  UniqueFileHandle file =
      OpenLogFileWithRetry(m_strActiveLogPath.c_str(), GENERIC_WRITE, OPEN_ALWAYS);
  if (!file) return false;

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return false;
  if (size.QuadPart == 0) {
    if (!g_logStoreManager.WriteFileHeader(file.get())) {
      TruncateTo(file.get(), 0);
      return false;
    }
    size.QuadPart = sizeof(LogFileHeader);
  } else {
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
  }
  if (!WriteAll(file.get(), record.get(), static_cast<DWORD>(total))) {
    TruncateTo(file.get(), size.QuadPart);
    return false;
  }
  return true;
}
