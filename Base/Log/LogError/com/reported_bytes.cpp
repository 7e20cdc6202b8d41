#include "reported_bytes.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "log_format.h"
#include "sharing_retry.h"
#include "unique_resource.h"

namespace {

constexpr std::size_t kHeaderBytes = sizeof(LogFileHeader);
// One ReadFile and one WriteFile move the whole file.
constexpr LONGLONG kMaxFileBytes = 0x7FFFFFFF;

// Share mode 0 keeps every writer and reader out while the file is compared
// and changed. Another holder is waited for briefly, as the appends do.
UniqueFileHandle OpenExclusive(const wchar_t* pszPath) noexcept {
  return OpenRetryingWhileShared([&] {
    return CreateFileW(pszPath, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  });
}

bool SeekTo(HANDLE hFile, LONGLONG offset) noexcept {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(hFile, position, nullptr, FILE_BEGIN) != 0;
}

bool ReadWhole(HANDLE hFile, std::uint8_t* pBuffer, DWORD nBytes) noexcept {
  DWORD read = 0;
  return ReadFile(hFile, pBuffer, nBytes, &read, nullptr) && read == nBytes;
}

bool WriteWhole(HANDLE hFile, const std::uint8_t* pBuffer, DWORD nBytes) noexcept {
  DWORD written = 0;
  return WriteFile(hFile, pBuffer, nBytes, &written, nullptr) && written == nBytes;
}

// Deleted through the open handle: a delete by name after closing it would
// let a merge slip in between and be deleted with the report.
void DeleteOpenFile(HANDLE hFile) noexcept {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return;
  }
  // A file holding only its header reports nothing and takes later merges.
  if (SeekTo(hFile, 0) &&
      WriteWhole(hFile, reinterpret_cast<const std::uint8_t*>(&kLogFileHeader), kHeaderBytes)) {
    SetEndOfFile(hFile);
  }
}

}  // namespace

void RemoveReportedBytes(const wchar_t* pszPath, const std::uint8_t* pReported,
                         std::size_t nReported) noexcept {
  if (pszPath == nullptr || *pszPath == L'\0' || pReported == nullptr || nReported == 0) return;
  UniqueFileHandle file = OpenExclusive(pszPath);
  if (!file) return;

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes ||
      static_cast<ULONGLONG>(size.QuadPart) < nReported) {
    return;
  }
  const auto nFile = static_cast<DWORD>(size.QuadPart);
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[nFile]);
  if (bytes == nullptr || !ReadWhole(file.get(), bytes.get(), nFile) ||
      std::memcmp(bytes.get(), pReported, nReported) != 0) {
    return;
  }
  if (nFile == nReported) {
    DeleteOpenFile(file.get());
    return;
  }
  // Without a whole header in front, what follows is no record sequence.
  if (nReported < kHeaderBytes) return;

  // Header, the merged records, then the reported ones again, in one write
  // over the same length: a process that dies before the truncation below
  // leaves a valid log whose reported records come again, but loses nothing.
  std::rotate(bytes.get() + kHeaderBytes, bytes.get() + nReported, bytes.get() + nFile);
  std::memcpy(bytes.get(), &kLogFileHeader, kHeaderBytes);
  const LONGLONG nKept = static_cast<LONGLONG>(kHeaderBytes + (nFile - nReported));
  if (!SeekTo(file.get(), 0) || !WriteWhole(file.get(), bytes.get(), nFile) ||
      !SeekTo(file.get(), nKept)) {
    return;
  }
  SetEndOfFile(file.get());
  FlushFileBuffers(file.get());
}
