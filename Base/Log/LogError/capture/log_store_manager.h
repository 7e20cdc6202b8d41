// The process-wide holder of the identity every record shares, and the one
// way records reach the active log file.
//
// Filled once by Initialize during process attach, read-only afterwards:
// logging threads read the texts without a lock. AppendRecord queues on the
// active log's mutex of the data folder, with every thread of every process
// of the suite that writes there; where this process cannot have the mutex,
// it relies on the file's share mode alone (active_log_gate.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "Win/unique_resource.h"
#include "active_log_append.h"
#include "active_log_gate.h"
#include "format/log_accounts.h"
#include "format/log_format.h"
#include "log_account_state.h"
#include "storage/log_exclusion.h"

namespace suite {

class CLogStoreManager {
 public:
  CLogStoreManager() = default;
  CLogStoreManager(const CLogStoreManager&) = delete;
  CLogStoreManager& operator=(const CLogStoreManager&) = delete;
  virtual ~CLogStoreManager() = default;

  // Writes the 12-byte LogFileHeader at the handle's current position.
  virtual bool WriteFileHeader(HANDLE hFile);

  // Fills the five texts and the identity of this library's accounts, opens
  // the active log's gate, then runs the daily roll-over when it is due. May
  // throw std::bad_alloc; the process entry catches it.
  void Initialize();

  // Stamps the time and appends header and strings as one record. False when
  // the record was not written (the file stayed as it was): it is then
  // counted, in the cap account when the day's log is at its cap, else as a
  // drop that the next writer's turn accounts for. Takes no module, version
  // or other loader query while it owns the mutex, so that it may be called
  // from another library's process entry.
  bool AppendRecord(LogRecordHeader& header, const std::byte* pStrings, std::size_t nStringBytes);

  // A record that never reached AppendRecord (an exception on its way).
  void CountDrop() noexcept { m_accounts.CountDrop(); }

  // While owning the active log's mutex, or without one: cuts a torn tail
  // when `bRepair`, then writes the accounts that are due, so that they go
  // with the day's log. False when the file could not be had within the
  // bound, or cut.
  bool SettleActiveLogInTurn(bool bRepair) noexcept;

  // What this process's accounts name: the product, the host program, and
  // this library as the module.
  const LogAccountIdentity& AccountIdentity() const noexcept { return m_accountIdentity; }

  // The roll-over has taken the day's log away: its cap account with it.
  void ForgetCapAccount() noexcept { m_accounts.SetCapAccountHint(-1); }

  std::wstring m_strActiveLogPath;
  std::wstring m_strProductVersion;
  std::wstring m_strAppPath;
  std::wstring m_strAppName;
  std::wstring m_strAppVersion;

 private:
  bool AppendRecordInTurn(LogRecordHeader& header, const std::byte* pStrings,
                          std::size_t nStringBytes, bool& bRefused);
  UniqueFileHandle OpenActiveLog() const noexcept;
  // Tries OpenActiveLog while another writer has the file, until `deadline`.
  bool OpenActiveLogUntil(const Deadline& deadline, UniqueFileHandle& file) const noexcept;
  // In its turn, with the file open; `pRecord` null writes only the accounts
  // due. Never appends behind a torn record. `bTailWhole` turns false when a
  // torn tail may remain for the next writer to cut.
  AppendOutcome AppendOpen(HANDLE hFile, const std::byte* pRecord, std::size_t nRecordBytes,
                           bool bRepair, bool& bTailWhole);
  void FillAccountIdentity();

  ActiveLogGate m_gate;
  LogAccountState m_accounts;
  LogAccountIdentity m_accountIdentity;
};

// The one instance of this loaded copy of the library.
extern CLogStoreManager g_logStoreManager;

}  // namespace suite
