#include <windows.h>

#include <cstdio>
#include <cstring>
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

const wchar_t* SkipKindName(LogSkipKind kind) {
  switch (kind) {
    case LogSkipKind::FileHeader:
      return L"damaged file header";
    case LogSkipKind::Damaged:
      return L"damaged";
    case LogSkipKind::TornTail:
      return L"torn last record";
  }
  return L"damaged";
}

}  // namespace

// Exit code: 0 when every byte after the file header belongs to a whole
// record; 3 when damage was skipped (each span is listed); 1 when the file
// cannot be read or is not a log of this format.
int DumpCommand(const std::wstring& path) {
  bool ok = false;
  std::vector<std::uint8_t> bytes = ReadWholeFile(path, ok);
  if (!ok) {
    wprintf(L"%ls: cannot be read\n", path.c_str());
    return 1;
  }
  wprintf(L"%ls: %zu bytes\n", path.c_str(), bytes.size());
  LogRecordWalk walk(bytes.data(), bytes.size());
  switch (walk.FileState()) {
    case LogFileState::Known:
      break;
    case LogFileState::Damaged:
      wprintf(L"  no valid 12-byte file header: looking for whole records from offset 0\n");
      break;
    case LogFileState::Foreign: {
      LogFileHeader header;
      std::memcpy(&header, bytes.data(), sizeof(header));
      wprintf(L"  a log of another format (version %u, revision %u): not read\n", header.Version,
              header.Revision);
      return 1;
    }
    case LogFileState::Unusable:
      wprintf(L"  not a log file (empty)\n");
      return 1;
  }
  LogRecordView record;
  LogWalkStep step;
  while ((step = walk.Next(record)) != LogWalkStep::End) {
    if (step == LogWalkStep::Skipped) {
      const LogSkippedSpan& span = walk.SkippedSpan();
      wprintf(L"  skipped %zu byte(s) at offset %zu (0x%zX) to %zu: %ls\n", span.nBytes,
              span.nOffset, span.nOffset, span.nOffset + span.nBytes, SkipKindName(span.kind));
      continue;
    }
    wprintf(L"  #%zu @%zu %ls code=%d product=%ls app=%ls %ls module=%ls %ls\n", walk.RecordCount(),
            record.nOffset, KindName(record.nKind), record.nErrorCode,
            Wide(record.productVersion).c_str(), Wide(record.appName).c_str(),
            Wide(record.appVersion).c_str(), Wide(record.moduleName).c_str(),
            Wide(record.moduleVersion).c_str());
    wprintf(L"      message=\"%ls\"%ls%ls%ls\n", Wide(record.message).c_str(),
            record.bHasValue ? L" value=\"" : L"",
            record.bHasValue ? Wide(record.value).c_str() : L"", record.bHasValue ? L"\"" : L"");
  }
  wprintf(L"  %zu record(s); %zu damaged span(s), %zu byte(s) skipped\n", walk.RecordCount(),
          walk.SkippedSpanCount(), walk.SkippedByteCount());
  return walk.SkippedSpanCount() == 0 ? 0 : 3;
}
