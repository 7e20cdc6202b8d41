#include <windows.h>

#include <cstdio>
#include <vector>

#include "commands.h"
#include "log_format.h"
#include "log_record_walk.h"

namespace {

const wchar_t* KindName(std::uint32_t nKind) {
  switch (nKind) {
    case 1:
      return L"Error";
    case 2:
      return L"Warning";
    case 3:
      return L"Exception";
    default:
      return L"Unknown";
  }
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path, bool& ok) {
  std::vector<std::uint8_t> bytes;
  ok = false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() ||
         ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
  }
  CloseHandle(file);
  return bytes;
}

}  // namespace

int DumpCommand(const std::wstring& path) {
  bool ok = false;
  std::vector<std::uint8_t> bytes = ReadWholeFile(path, ok);
  if (!ok) {
    wprintf(L"%ls: cannot be read\n", path.c_str());
    return 1;
  }
  wprintf(L"%ls: %zu bytes\n", path.c_str(), bytes.size());
  if (!IsKnownLogFileHeader(bytes.data(), bytes.size())) {
    wprintf(L"  not a log file (no valid 12-byte header)\n");
    return 1;
  }
  LogRecordWalk walk(bytes.data(), bytes.size());
  LogRecordView record;
  int count = 0;
  LogWalkStep step;
  while ((step = walk.Next(record)) == LogWalkStep::Record) {
    ++count;
    wprintf(L"  #%d %ls code=%d product=%ls app=%ls %ls module=%ls %ls\n", count,
            KindName(record.nKind), record.nErrorCode, Wide(record.productVersion).c_str(),
            Wide(record.appName).c_str(), Wide(record.appVersion).c_str(),
            Wide(record.moduleName).c_str(), Wide(record.moduleVersion).c_str());
    wprintf(L"      message=\"%ls\"%ls%ls%ls\n", Wide(record.message).c_str(),
            record.bHasValue ? L" value=\"" : L"",
            record.bHasValue ? Wide(record.value).c_str() : L"", record.bHasValue ? L"\"" : L"");
  }
  const wchar_t* end = step == LogWalkStep::End        ? L"end of data"
                       : step == LogWalkStep::TornTail ? L"a torn last record"
                                                       : L"a damaged record";
  wprintf(L"  %d record(s), walk ended at %ls\n", count, end);
  return step == LogWalkStep::Damaged ? 1 : 0;
}
