#include "log_file_walk.h"

#include <windows.h>

#include <memory>

#include "Win/unique_resource.h"
#include "format/log_format.h"

using namespace suite;

namespace stress {

WalkedFile WalkLogFile(const std::wstring& path) {
  WalkedFile walked;
  UniqueFileHandle file = UniqueFileHandle::Adopt(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kLogReadableBytes)
    return walked;
  walked.bExists = true;
  // new[] gives the alignment the walk needs for its text views.
  std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size.QuadPart + 2]);
  DWORD nRead = 0;
  if (!ReadFile(file.get(), data.get(), static_cast<DWORD>(size.QuadPart), &nRead, nullptr)) {
    nRead = 0;
  }
  walked.nBytes = nRead;

  LogRecordWalk walk(data.get(), nRead);
  LogRecordView view;
  const auto wide = [](std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
  };
  for (LogWalkStep step; (step = walk.Next(view)) != LogWalkStep::End;) {
    if (step == LogWalkStep::Skipped) {
      walked.spans.push_back(walk.SkippedSpan());
      continue;
    }
    FoundRecord record;
    record.nKind = view.nKind >= 1 && view.nKind <= 3 ? view.nKind : 0;
    record.errorCode = std::to_wstring(view.nErrorCode);
    record.message = wide(view.message);
    if (view.bHasValue) record.value = wide(view.value);
    record.nEnd = view.nOffset + view.nBytes;
    walked.records.push_back(std::move(record));
  }
  return walked;
}

std::wstring DescribeSpan(const LogSkippedSpan& span) {
  const wchar_t* kind = span.kind == LogSkipKind::FileHeader ? L"damaged file header"
                        : span.kind == LogSkipKind::TornTail ? L"torn tail"
                                                             : L"damaged span";
  return std::wstring(kind) + L" at " + std::to_wstring(span.nOffset) + L", " +
         std::to_wstring(span.nBytes) + L" bytes";
}

}  // namespace stress
