// Removing a sent report from the pending log file without touching records
// that a roll-over appended after the report was read.
#include "pending_log.h"

#include <windows.h>

#include <cstring>

#include "Win/hresult_error.h"
#include "format/log_format.h"
#include "format/log_merge_plan.h"
#include "storage/log_exclusion.h"
#include "storage/log_file_io.h"

namespace suite {

namespace {

// How many of the file's first bytes a report of `pReported` delivered:
// every byte while the file is still just what the report read; otherwise
// its whole records, which stay byte for byte when a roll-over cuts a torn
// tail or an odd last byte behind them and appends after them. 0 when the
// file is another.
std::size_t DeliveredPrefix(const FileBytes& file, const std::uint8_t* pReported,
                            std::size_t nReported) noexcept {
  auto startsWith = [&](std::size_t nBytes) {
    return file.size >= nBytes && std::memcmp(file.data.get(), pReported, nBytes) == 0;
  };
  if (file.size == nReported && startsWith(nReported)) return nReported;
  // What a roll-over keeps of the bytes as reported.
  const LogPendingEnd end = PendingEndOf(pReported, nReported);
  const std::size_t nWhole = end.bFreshHeader ? nReported : end.nKept;
  return nWhole >= kLogFileHeaderBytes && startsWith(nWhole) ? nWhole : 0;
}

// Writes what stays into the side file and moves it over error.bf. Dying
// before the move leaves error.bf whole and the side file a mere copy, which
// the next settle deletes; the move itself is one step.
void KeepOnly(const PendingLogFiles& files, const std::uint8_t* pKept, std::size_t nKept,
              const Deadline& deadline) noexcept {
  {
    UniqueFileHandle rest = OpenLogFile(files.rest.text, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (!rest || !WriteExactly(rest.get(), &kLogFileHeader, kLogFileHeaderBytes) ||
        !WriteExactly(rest.get(), pKept, nKept) || !FlushFile(rest.get())) {
      rest.reset();
      DeleteLogFile(files.rest.text);
      return;
    }
  }
  if (!RetryWhileHeld(deadline,
                      [&] { return ReplaceLogFile(files.rest.text, files.pending.text); })) {
    DeleteLogFile(files.rest.text);
  }
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
  const Deadline deadline = Deadline::After(kLogExclusionBoundMs);
  if (WaitUntil(mutex.get(), deadline, hold) == MutexWait::TimedOut) return;
  // An append that recovery could not undo yet: error.bf stays as it is.
  if (!SettlePendingLog(files)) return;

  FileBytes bytes;
  {
    UniqueFileHandle file;
    RetryWhileHeld(deadline, [&] {
      file = OpenLogFile(files.pending.text, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
      return file.valid();
    });
    if (!file || !ReadWholeFile(file.get(), kLogReadableBytes, bytes)) return;
  }
  const std::size_t nDelivered = DeliveredPrefix(bytes, pReported, nReported);
  if (nDelivered == 0) return;
  // A program outside the suite that has error.bf open without delete
  // sharing is waited out within the bound, still owning the mutex.
  if (bytes.size == nDelivered) {
    // Everything in it was delivered; a delete is one step.
    RetryWhileHeld(deadline, [&] { return DeleteLogFile(files.pending.text); });
    return;
  }
  KeepOnly(files, bytes.data.get() + nDelivered, bytes.size - nDelivered, deadline);
}

}  // namespace suite
