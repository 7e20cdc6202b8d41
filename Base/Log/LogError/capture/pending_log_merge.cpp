#include "pending_log_merge.h"

#include <windows.h>

#include "log_file_io.h"
#include "log_format.h"
#include "log_record_walk.h"
#include "log_whole_records.h"

namespace {

// A size that cannot be read counts as 0.
LONGLONG SizeOf(const LogFilePath& path) noexcept {
  LONGLONG size = 0;
  GetFileSize64(path.text, &size);
  return size;
}

bool ReadLog(const LogFilePath& path, FileBytes& bytes) noexcept {
  UniqueFileHandle file = OpenLogFile(path.text, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  return file && ReadWholeFile(file.get(), kLogRolloverCap, bytes);
}

// error.bf's records, then the staged ones, each list up to its last whole
// record: a torn tail is no record, and left in the middle it would read as
// damage. Too short for a file header, error.bf is as good as empty and gets
// a fresh one; a header of another kind is kept as it is, bytes and all.
bool WriteMerged(const LogFilePath& merge, const FileBytes& pending,
                 const FileBytes& staged) noexcept {
  UniqueFileHandle out = OpenLogFile(merge.text, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (!out) return false;
  bool bWritten = false;
  if (pending.size < kLogFileHeaderBytes) {
    bWritten = WriteExactly(out.get(), &kLogFileHeader, kLogFileHeaderBytes);
  } else {
    const bool bKnown = IsKnownLogFileHeader(pending.data.get(), pending.size);
    bWritten = WriteExactly(
        out.get(), pending.data.get(),
        bKnown ? EvenEnd(WholeRecordsEnd(pending.data.get(), pending.size)) : pending.size);
  }
  const std::size_t nStagedEnd = EvenEnd(WholeRecordsEnd(staged.data.get(), staged.size));
  return bWritten &&
         WriteExactly(out.get(), staged.data.get() + kLogFileHeaderBytes,
                      nStagedEnd - kLogFileHeaderBytes) &&
         FlushFile(out.get());
}

}  // namespace

void MergeStagedIntoPending(const PendingLogFiles& files) noexcept {
  const LONGLONG nStaged = SizeOf(files.staged);
  // Over the cap, or without room for a single record: the file goes whole.
  if (nStaged > kLogRolloverCap || nStaged <= static_cast<LONGLONG>(kLogFileHeaderBytes)) {
    DeleteLogFile(files.staged.text);
    return;
  }
  if (!LogFileExists(files.pending)) {
    // One rename: the records are under one name or the other, header and all.
    MoveLogFile(files.staged.text, files.pending.text);
    return;
  }
  if (SizeOf(files.pending) > kLogRolloverCap - nStaged) {
    // The cap's whole-file discard, staged records first: dying between the
    // two deletions leaves error.bf, which the next roll-over keeps.
    DeleteLogFile(files.staged.text);
    DeleteLogFile(files.pending.text);
    return;
  }

  FileBytes pending;
  FileBytes staged;
  if (!ReadLog(files.pending, pending) || !ReadLog(files.staged, staged)) return;
  // Only a copy is written: dying here leaves error.bf and the staged records
  // as they were, and the next settle deletes the copy.
  if (!WriteMerged(files.merge, pending, staged)) {
    DeleteLogFile(files.merge.text);
    return;
  }
  pending = {};
  staged = {};
  // The copy is complete and on disk. Renamed, the staged records say so:
  // dying now, the settle finds both files and puts the records back to wait.
  if (!MoveLogFile(files.staged.text, files.merging.text)) {
    DeleteLogFile(files.merge.text);
    return;
  }
  // The one step that merges: afterwards error.bf holds all the records, and
  // a leftover error.bf.merging is known to be merged.
  if (!ReplaceLogFile(files.merge.text, files.pending.text)) {
    // Back to waiting, and only then the copy goes: dying in between leaves
    // a mere copy beside the waiting records, which the settle deletes.
    if (MoveLogFile(files.merging.text, files.staged.text)) DeleteLogFile(files.merge.text);
    return;
  }
  DeleteLogFile(files.merging.text);  // merged; left behind, the next settle deletes it
}
