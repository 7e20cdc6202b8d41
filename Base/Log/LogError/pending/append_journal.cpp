#include "append_journal.h"

#include <windows.h>

#include <limits>

#include "storage/log_file_io.h"

namespace suite {

namespace {

// Whether the staged file beside the journal is the one it appends: none
// when that cannot be told now.
std::optional<bool> NamesStaged(const PendingLogFiles& files,
                                const LogAppendJournal& journal) noexcept {
  if (!journal.staged) return true;  // the first version names none: any is its own
  StagedLogReader staged;
  if (!staged.Open(files.staged.text, std::numeric_limits<LONGLONG>::max())) {
    if (!LogFileExists(files.staged)) return false;
    return std::nullopt;
  }
  if (staged.size() != journal.staged->nSize) return false;
  const std::optional<LogStagedMark> mark = StagedMarkOf(staged);
  if (!mark) return std::nullopt;
  return journal.Names(*mark);
}

}  // namespace

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

std::optional<LogStagedMark> StagedMarkOf(StagedLogReader& staged) noexcept {
  const LogStagedSample sample = LogStagedSampleOf(staged.size());
  LogStagedCheck check;
  for (const auto& [nOffset, nBytes] : {std::pair{std::uint64_t{0}, sample.nHeadBytes},
                                        std::pair{sample.nTailOffset, sample.nTailBytes}}) {
    const std::uint8_t* pBytes = staged.ReadAt(nOffset, static_cast<std::size_t>(nBytes));
    if (pBytes == nullptr) return std::nullopt;
    check.Add(pBytes, static_cast<std::size_t>(nBytes));
  }
  return LogStagedMark{staged.size(), check.Value()};
}

bool RecoverAppend(const PendingLogFiles& files) noexcept {
  if (!LogFileExists(files.journal)) return true;
  const std::optional<LogAppendJournal> journal = ReadAppendJournal(files.journal);
  if (journal && LogFileExists(files.staged)) {
    const std::optional<bool> bNamed = NamesStaged(files, *journal);
    if (!bNamed) return false;
    UniqueFileHandle pending;
    if (*bNamed) {
      pending = OpenLogFile(files.pending.text, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
      // Held by a reader: the journal keeps it from reading the append.
      if (!pending && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    }
    if (pending) {
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
  // only while the staged file it names is still there, which a second
  // recovery cuts again to the same length.
  return DeleteLogFile(files.journal.text) || !LogFileExists(files.journal);
}

}  // namespace suite
