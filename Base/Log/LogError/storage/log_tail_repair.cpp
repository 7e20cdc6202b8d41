#include "log_tail_repair.h"

#include <cstdint>
#include <memory>
#include <new>

#include "format/log_format.h"
#include "format/log_whole_records.h"
#include "log_file_io.h"

namespace suite {

namespace {

constexpr auto kHeaderEnd = static_cast<LONGLONG>(kLogFileHeaderBytes);

// Most files end whole: their last bytes show it without reading the rest.
bool TailIsWhole(HANDLE hFile, LONGLONG nSize) noexcept {
  const auto nStart = static_cast<LONGLONG>(LogTailStart(static_cast<std::size_t>(nSize)));
  if (nStart >= nSize) return false;
  const auto nBytes = static_cast<std::size_t>(nSize - nStart);
  std::unique_ptr<std::uint8_t[]> tail(new (std::nothrow) std::uint8_t[nBytes]);
  return tail && SeekTo(hFile, nStart) && ReadExactly(hFile, tail.get(), nBytes) &&
         EndsWithWholeRecord(tail.get(), nBytes);
}

}  // namespace

bool FindWholeRecordsEnd(HANDLE hFile, LONGLONG nSize, LONGLONG& nEnd) noexcept {
  nEnd = nSize;
  // Larger than the library reads: no offset of it is cut to a shorter type.
  if (nSize < 0 || nSize > kLogReadableBytes) return false;
  if (nSize <= kHeaderEnd || TailIsWhole(hFile, nSize)) return true;
  FileBytes bytes;
  if (!ReadWholeFile(hFile, kLogReadableBytes, bytes)) return false;
  nEnd = static_cast<LONGLONG>(WholeRecordsEnd(bytes.data.get(), bytes.size));
  return true;
}

bool CutTornTail(HANDLE hFile, LONGLONG& nSize) noexcept {
  LONGLONG nEnd = nSize;
  if (!FindWholeRecordsEnd(hFile, nSize, nEnd)) return false;
  if (nEnd == nSize) return true;
  if (!TruncateAt(hFile, nEnd)) return false;
  nSize = nEnd;
  return true;
}

bool RepairTornTail(const wchar_t* pszPath) noexcept {
  UniqueFileHandle file =
      OpenLogFile(pszPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  if (!file) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  LONGLONG nSize = 0;
  return FileSizeOf(file.get(), nSize) && CutTornTail(file.get(), nSize);
}

}  // namespace suite
