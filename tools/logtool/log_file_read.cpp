#include "log_file_read.h"

#include <windows.h>

#include "Win/unique_resource.h"
#include "format/log_format.h"
#include "format/log_record_walk.h"
#include "tool_error.h"

namespace suite {

namespace {

// 0 with the bytes read, or why they could not be.
DWORD TryReadLogFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
  UniqueFileHandle file;
  // Every sharing: a look at a log must never stand in the way of a writer,
  // the roll-over or the removal of what was sent.
  file.reset(CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return GetLastError();
  if (size.QuadPart > kLogReadableBytes) return ERROR_FILE_TOO_LARGE;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() &&
      !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return GetLastError();
  }
  bytes.resize(read);
  return 0;
}

}  // namespace

std::vector<std::uint8_t> ReadLogFile(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  if (const DWORD error = TryReadLogFile(path, bytes); error != 0) {
    Fail(ExitStatus::kFile,
         L"cannot read " + Shown(path) + L": " +
             (error == ERROR_FILE_TOO_LARGE
                  ? L"larger than a log can be (" + std::to_wstring(kLogReadableBytes) + L" bytes)"
                  : SystemErrorText(error)));
  }
  return bytes;
}

std::optional<std::size_t> CountLogRecords(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  if (TryReadLogFile(path, bytes) != 0) return std::nullopt;
  LogRecordWalk walk(bytes.data(), bytes.size());
  LogRecordView record;
  while (walk.Next(record) != LogWalkStep::End) {
  }
  return walk.RecordCount();
}

}  // namespace suite
