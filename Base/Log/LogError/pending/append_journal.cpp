#include "append_journal.h"

#include <windows.h>

#include "storage/log_file_io.h"

namespace suite {

bool WriteAppendJournal(const LogFilePath& path, const LogAppendJournal& journal) noexcept {
  const auto bytes = EncodeLogAppendJournal(journal);
  UniqueFileHandle file = OpenLogFile(path.text, GENERIC_WRITE, 0, CREATE_ALWAYS);
  return file && WriteExactly(file.get(), bytes.data(), bytes.size()) && FlushFile(file.get());
}

std::optional<LogAppendJournal> ReadAppendJournal(const LogFilePath& path) noexcept {
  UniqueFileHandle file = OpenLogFile(path.text, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  FileBytes bytes;
  if (!file || !ReadWholeFile(file.get(), kLogAppendJournalBytes, bytes)) return std::nullopt;
  return DecodeLogAppendJournal(bytes.data.get(), bytes.size);
}

bool RecoverAppend(const PendingLogFiles& files) noexcept {
  if (!LogFileExists(files.journal)) return true;
  const std::optional<LogAppendJournal> journal = ReadAppendJournal(files.journal);
  if (journal && LogFileExists(files.staged)) {
    UniqueFileHandle pending =
        OpenLogFile(files.pending.text, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    if (!pending) {
      // Held by a reader: the journal keeps it from reading the append.
      if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    } else {
      LONGLONG nSize = 0;
      if (!FileSizeOf(pending.get(), nSize)) return false;
      const auto nBase = static_cast<LONGLONG>(journal->nBase);
      if (journal->Encloses(static_cast<std::uint64_t>(nSize)) && nSize != nBase &&
          !(TruncateAt(pending.get(), nBase) && FlushFile(pending.get()))) {
        return false;
      }
    }
  }
  // Dying before this delete leaves a journal that encloses error.bf's size
  // only while the staged file is still there, which a second recovery cuts
  // again to the same length.
  return DeleteLogFile(files.journal.text) || !LogFileExists(files.journal);
}

}  // namespace suite
