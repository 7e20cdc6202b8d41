// The process-wide holder of the identity every record shares, and the one
// way records reach the active log file.
//
// Filled once by Initialize during process attach, read-only afterwards:
// logging threads read the texts without a lock. AppendRecord serialises the
// appends of this process; other processes are kept out by the share mode.
#pragma once

#include <windows.h>

#include <cstddef>
#include <mutex>
#include <string>

#include "log_format.h"

class CLogStoreManager {
 public:
  CLogStoreManager() = default;
  CLogStoreManager(const CLogStoreManager&) = delete;
  CLogStoreManager& operator=(const CLogStoreManager&) = delete;
  virtual ~CLogStoreManager() = default;

  // Writes the 12-byte LogFileHeader at the handle's current position.
  virtual bool WriteFileHeader(HANDLE hFile);

  // Fills the five texts, then runs the daily roll-over when it is due.
  // May throw std::bad_alloc; the process entry catches it.
  void Initialize();

  // Stamps the time and appends header and strings as one record. False when
  // the record was not written (the file stayed as it was).
  bool AppendRecord(LogRecordHeader& header, const std::byte* pStrings, std::size_t nStringBytes);

  std::wstring m_strActiveLogPath;
  std::wstring m_strProductVersion;
  std::wstring m_strAppPath;
  std::wstring m_strAppName;
  std::wstring m_strAppVersion;

 private:
  std::mutex m_appendLock;
};

// The one instance of this loaded copy of the library.
extern CLogStoreManager g_logStoreManager;
