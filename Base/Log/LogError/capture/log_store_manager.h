// The process-wide holder of the identity every record shares, and the one
// way records reach the active log file.
//
// Filled once by Initialize during process attach, read-only afterwards:
// logging threads read the texts without a lock. AppendRecord queues on the
// active log's mutex of the data folder, with every thread of every process
// of the suite that writes there.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "active_log_gate.h"
#include "log_format.h"
#include "unique_resource.h"

class CLogStoreManager {
 public:
  CLogStoreManager() = default;
  CLogStoreManager(const CLogStoreManager&) = delete;
  CLogStoreManager& operator=(const CLogStoreManager&) = delete;
  virtual ~CLogStoreManager() = default;

  // Writes the 12-byte LogFileHeader at the handle's current position.
  virtual bool WriteFileHeader(HANDLE hFile);

  // Fills the five texts, opens the active log's gate, then runs the daily
  // roll-over when it is due. May throw std::bad_alloc; the process entry
  // catches it.
  void Initialize();

  // Stamps the time and appends header and strings as one record. False when
  // the record was not written (the file stayed as it was). Takes no module,
  // version or other loader query while it owns the mutex, so that it may be
  // called from another library's process entry.
  bool AppendRecord(LogRecordHeader& header, const std::byte* pStrings, std::size_t nStringBytes);

  std::wstring m_strActiveLogPath;
  std::wstring m_strProductVersion;
  std::wstring m_strAppPath;
  std::wstring m_strAppName;
  std::wstring m_strAppVersion;

 private:
  UniqueFileHandle OpenActiveLog() const noexcept;
  // In its turn, with the file open; false when the record cannot be added
  // without leaving a torn record behind. `bTailWhole` turns false when a
  // torn tail may remain for the next writer to cut.
  bool AppendOpen(HANDLE hFile, const std::byte* pRecord, std::size_t nRecordBytes, bool bRepair,
                  bool& bTailWhole);

  ActiveLogGate m_gate;
};

// The one instance of this loaded copy of the library.
extern CLogStoreManager g_logStoreManager;
