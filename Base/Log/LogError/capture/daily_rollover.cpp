#include "daily_rollover.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "crt_operations.h"
#include "log_format.h"
#include "unique_resource.h"

namespace {

constexpr wchar_t kActiveLogName[] = L"error.Profile";
constexpr wchar_t kPendingLogName[] = L"error.bf";
constexpr wchar_t kTempSuffix[] = L".tmp";
constexpr DWORD kHeaderBytes = sizeof(LogFileHeader);

// Fixed buffers rather than strings: nothing here may fail to allocate
// before the date is stored.
struct DataFilePath {
  wchar_t text[kCrtPathCapacity + 8] = {};
};

DataFilePath DataFile(const wchar_t* name) noexcept {
  DataFilePath path;
  GetDataFilePath(name, path.text, kCrtPathCapacity, kCrtDataFolder, 0, 0);
  path.text[kCrtPathCapacity - 1] = L'\0';
  return path;
}

// "error.bf" + ".tmp"; the buffer has room for the suffix after any path.
DataFilePath TempFileFor(const DataFilePath& pending) noexcept {
  DataFilePath temp = pending;
  if (temp.text[0] != L'\0') std::wcscat(temp.text, kTempSuffix);
  return temp;
}

// A size that cannot be read counts as 0.
LONGLONG SizeOf(const wchar_t* path) noexcept {
  LONGLONG size = 0;
  GetFileSize64(path, &size);
  return size;
}

UniqueFileHandle OpenLog(const wchar_t* path, DWORD access, DWORD disposition) noexcept {
  return UniqueFileHandle::Adopt(OpenFileHandle(path, access, FILE_SHARE_READ, nullptr, disposition,
                                                FILE_ATTRIBUTE_NORMAL, nullptr, 1));
}

bool SeekTo(HANDLE file, LONGLONG offset) noexcept {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Cuts the destination back to where it ended, so a failed append leaves
// neither a torn record nor records that the kept source would bring twice.
void CutBackTo(HANDLE file, LONGLONG end) noexcept {
  if (SeekTo(file, end)) SetEndOfFile(file);
  FlushFileBuffers(file);
}

// One row of the decision table for `source` against the pending log file.
// Within the cap the records are appended, through `temp` when it is given.
void MergeInto(const wchar_t* source, const wchar_t* pending, const wchar_t* temp) noexcept {
  if (!PathFileExistsW(source)) return;
  const LONGLONG sourceSize = SizeOf(source);
  if (sourceSize > kLogRolloverCap) {
    DeleteFileW(source);
    return;
  }
  if (!PathFileExistsW(pending)) {
    MoveFileW(source, pending);
    return;
  }
  if (SizeOf(pending) > kLogRolloverCap - sourceSize) {
    DeleteFileW(source);
    DeleteFileW(pending);
    return;
  }
  if (temp == nullptr) {
    AppendLogBody(source, pending);
  } else if (MoveFileW(source, temp)) {
    AppendLogBody(temp, pending);
  }
}

}  // namespace

bool IsRollOverDue() noexcept {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const LogDateText today = FormatLogDate(now.wYear, now.wMonth, now.wDay);
  wchar_t stored[kCrtPathCapacity] = {};
  if (!GetConfigString(kLogErrorDateSetting, stored, sizeof(stored), kCrtStore)) return true;
  stored[kCrtPathCapacity - 1] = L'\0';
  return std::wcscmp(stored, today.text) != 0;
}

void RollOver(const wchar_t* pszSettingName) noexcept {
  MergeActiveIntoPending();
  SYSTEMTIME now;
  GetLocalTime(&now);
  SetConfigString(pszSettingName, FormatLogDate(now.wYear, now.wMonth, now.wDay).text, kCrtStore);
}

void MergeActiveIntoPending() noexcept {
  const DataFilePath active = DataFile(kActiveLogName);
  const DataFilePath pending = DataFile(kPendingLogName);
  const DataFilePath temp = TempFileFor(pending);

  // A temporary file left by an earlier failed append holds older records
  // than the active log file: they go first, or the move below could never
  // succeed again. Shorter than a file header, it holds no record at all.
  if (PathFileExistsW(temp.text)) {
    LONGLONG tempSize = 0;
    if (GetFileSize64(temp.text, &tempSize) && tempSize < kHeaderBytes) {
      DeleteFileW(temp.text);
    } else {
      MergeInto(temp.text, pending.text, nullptr);
    }
  }
  MergeInto(active.text, pending.text, temp.text);
}

bool AppendLogBody(const wchar_t* pszSource, const wchar_t* pszDestination) noexcept {
  UniqueFileHandle source = OpenLog(pszSource, GENERIC_READ, OPEN_EXISTING);
  if (!source) return false;
  LARGE_INTEGER sourceSize;
  if (!GetFileSizeEx(source.get(), &sourceSize)) return false;
  if (sourceSize.QuadPart < kHeaderBytes) {
    // Not even a file header: there is nothing to bring over.
    source.reset();
    return DeleteFileW(pszSource) != FALSE;
  }
  // The caller holds files to the cap; anything bigger waits for its rule.
  if (sourceSize.QuadPart > kLogRolloverCap) return false;

  UniqueFileHandle destination = OpenLog(pszDestination, GENERIC_WRITE, OPEN_ALWAYS);
  if (!destination) return false;
  LARGE_INTEGER end;
  if (!GetFileSizeEx(destination.get(), &end) || !SeekTo(destination.get(), end.QuadPart) ||
      !SeekTo(source.get(), kHeaderBytes)) {
    return false;
  }

  // The block keeps room in front of the body for a file header, so that an
  // empty destination becomes a readable log in the same single write.
  const DWORD bodyBytes = static_cast<DWORD>(sourceSize.QuadPart) - kHeaderBytes;
  std::unique_ptr<std::byte[]> block(new (std::nothrow) std::byte[kHeaderBytes + bodyBytes]);
  if (!block) return false;
  DWORD read = 0;
  // A short read would bring part of the records now and all of them again
  // from the kept source later.
  if (!ReadFile(source.get(), block.get() + kHeaderBytes, bodyBytes, &read, nullptr) ||
      read != bodyBytes) {
    return false;
  }
  const bool needsHeader = end.QuadPart == 0;
  if (needsHeader) std::memcpy(block.get(), &kLogFileHeader, kHeaderBytes);
  const std::byte* out = needsHeader ? block.get() : block.get() + kHeaderBytes;
  const DWORD outBytes = needsHeader ? kHeaderBytes + bodyBytes : bodyBytes;
  DWORD written = 0;
  if (!WriteFile(destination.get(), out, outBytes, &written, nullptr) || written != outBytes ||
      !FlushFileBuffers(destination.get())) {
    CutBackTo(destination.get(), end.QuadPart);
    return false;
  }
  block.reset();

  // The records are in the destination only once: if the source cannot go,
  // they are taken back out and the source brings them next time.
  source.reset();
  if (!DeleteFileW(pszSource)) {
    CutBackTo(destination.get(), end.QuadPart);
    return false;
  }
  return true;
}
