// What every stress run shares: a data folder of its own (CRT_DATA_DIR for the
// driver and every child), the sender class registered machine-wide in the
// prefix for the sending children, a folder for the reports they keep, the
// writers' count of drops held open for the whole run, and a fresh shared
// block for each child.
#pragma once

#include <atomic>
#include <string>

#include "account_section.h"
#include "child_block.h"
#include "child_process.h"
#include "support/temp_data_folder.h"

namespace stress {

using namespace suite;

struct Child {
  std::wstring blockName;
  ChildBlockMapping block;
  ChildProcess process;
  bool valid() const { return static_cast<bool>(block) && process.valid(); }
};

class RunContext {
 public:
  RunContext();
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;
  // Keeps the data folder of a failed run for a look at its files.
  ~RunContext();

  // Empty when the run cannot start; otherwise what went wrong.
  const std::wstring& error() const { return m_error; }
  std::wstring DataFile(const wchar_t* pszName) const { return m_folder.File(pszName); }
  std::wstring ReportFile(const std::wstring& name) const { return m_reports + L"\\" + name; }
  const std::wstring& reportFolder() const { return m_reports; }
  const AccountSectionHold& accountSection() const { return m_accounts; }

  // Starts `program` with the name of a fresh block, then `arguments`. Any
  // thread may.
  Child Start(const wchar_t* pszProgram, const std::wstring& arguments);

  void KeepOnExit() { m_bKeep = true; }

 private:
  TempDataFolder m_folder;
  std::wstring m_reports;
  AccountSectionHold m_accounts;
  std::wstring m_error;
  std::atomic<int> m_nBlocks{0};
  bool m_bKeep = false;
};

// Prints a line to the standard output at once, as UTF-8.
void PrintLine(const std::wstring& text);

}  // namespace stress
