// Removing a sent report from the pending log file without touching records
// that a roll-over appended after the report was read.
#include "pending_log.h"

#include <windows.h>

#include <cstring>

#include "Win/hresult_error.h"
#include "format/log_format.h"
#include "storage/log_exclusion.h"
#include "storage/log_file_io.h"

namespace suite {

namespace {

// Writes what stays into the side file and moves it over error.bf. Dying
// before the move leaves error.bf whole and the side file a mere copy, which
// the next settle deletes; the move itself is one step.
void KeepOnly(const PendingLogFiles& files, const std::uint8_t* pKept, std::size_t nKept) noexcept {
  {
    UniqueFileHandle rest = OpenLogFile(files.rest.text, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (!rest || !WriteExactly(rest.get(), &kLogFileHeader, kLogFileHeaderBytes) ||
        !WriteExactly(rest.get(), pKept, nKept) || !FlushFile(rest.get())) {
      rest.reset();
      DeleteLogFile(files.rest.text);
      return;
    }
  }
  if (!ReplaceLogFile(files.rest.text, files.pending.text)) DeleteLogFile(files.rest.text);
}

}  // namespace

void RemoveReportedBytes(const wchar_t* pszPath, const std::uint8_t* pReported,
                         std::size_t nReported) noexcept {
  if (pszPath == nullptr || *pszPath == L'\0' || pReported == nullptr || nReported == 0) return;
  const PendingLogFiles files = PendingLogFilesFor(pszPath);
  // A mutex that cannot be opened, for want of memory too, is one that cannot
  // be had: the wait below gives up on the empty handle and the file stays.
  const UniqueKernelHandle mutex = CatchValue(
      UniqueKernelHandle(), [&] { return OpenLogFilesMutex(LogFiles::Pending, pszPath); });
  MutexHold hold;
  // Owning the mutex keeps merges out between the comparison and the change.
  if (WaitUntil(mutex.get(), Deadline::After(kLogExclusionBoundMs), hold) == MutexWait::TimedOut) {
    return;
  }
  // An append that recovery could not undo yet: error.bf stays as it is.
  if (!SettlePendingLog(files)) return;

  FileBytes bytes;
  {
    UniqueFileHandle file =
        OpenLogFile(files.pending.text, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file || !ReadWholeFile(file.get(), kLogReadableBytes, bytes)) return;
  }
  if (bytes.size < nReported || std::memcmp(bytes.data.get(), pReported, nReported) != 0) return;
  if (bytes.size == nReported) {
    // Everything in it was delivered; a delete is one step.
    DeleteLogFile(files.pending.text);
    return;
  }
  // Without a whole header in front, what follows is no record sequence.
  if (nReported < kLogFileHeaderBytes) return;
  KeepOnly(files, bytes.data.get() + nReported, bytes.size - nReported);
}

}  // namespace suite
