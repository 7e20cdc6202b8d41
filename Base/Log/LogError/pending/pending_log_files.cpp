#include "pending_log.h"

#include <windows.h>
#include <shlwapi.h>

#include "append_journal.h"
#include "storage/log_file_io.h"

namespace suite {

namespace {

LogFilePath WithSuffix(const wchar_t* pszPath, const wchar_t* pszSuffix) noexcept {
  LogFilePath path;
  if (pszPath == nullptr || *pszPath == L'\0' || std::wcslen(pszPath) >= kCrtPathCapacity) {
    return path;
  }
  swprintf(path.text, sizeof(path.text) / sizeof(path.text[0]), L"%ls%ls", pszPath, pszSuffix);
  return path;
}

}  // namespace

PendingLogFiles PendingLogFilesFor(const wchar_t* pszPendingPath) noexcept {
  PendingLogFiles files;
  files.pending = WithSuffix(pszPendingPath, L"");
  files.staged = WithSuffix(pszPendingPath, L".tmp");
  files.journal = WithSuffix(pszPendingPath, kLogAppendJournalSuffix);
  files.rest = WithSuffix(pszPendingPath, L".rest");
  files.merge = WithSuffix(pszPendingPath, L".merge");
  files.merging = WithSuffix(pszPendingPath, L".merging");
  return files;
}

bool LogFileExists(const LogFilePath& path) noexcept {
  return path.text[0] != L'\0' && PathFileExistsW(path.text);
}

bool SettlePendingLog(const PendingLogFiles& files) noexcept {
  // A removal that never swapped its side file in: error.bf holds everything.
  if (LogFileExists(files.rest)) DeleteLogFile(files.rest.text);
  if (!RecoverAppend(files)) return false;
  // A merge by copy that an earlier build died in.
  if (LogFileExists(files.merging)) {
    if (LogFileExists(files.merge)) {
      // The merge never replaced error.bf: its records wait again, and the
      // copy goes only once they are back under their waiting name.
      if (MoveLogFile(files.merging.text, files.staged.text)) DeleteLogFile(files.merge.text);
    } else {
      // The merge replaced error.bf: these records are in it now.
      DeleteLogFile(files.merging.text);
    }
  } else if (LogFileExists(files.merge)) {
    // Written before anything was committed to it: a copy, complete or not.
    DeleteLogFile(files.merge.text);
  }
  return !LogFileExists(files.merging) && !LogFileExists(files.merge);
}

}  // namespace suite
