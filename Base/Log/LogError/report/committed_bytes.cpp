#include "committed_bytes.h"

#include <windows.h>

#include <optional>
#include <string>

#include "Win/unique_resource.h"
#include "format/log_append_journal.h"

namespace suite {

std::uint64_t CommittedBytes(const wchar_t* pszLogPath, std::uint64_t nSize) {
  const std::wstring journalPath = std::wstring(pszLogPath) + kLogAppendJournalSuffix;
  UniqueFileHandle file = UniqueFileHandle::Adopt(CreateFileW(journalPath.c_str(), GENERIC_READ,
                                                              FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return nSize;
  // One byte more than a journal holds tells a longer file from one.
  std::uint8_t bytes[kLogAppendJournalBytes + 1];
  DWORD nRead = 0;
  if (!ReadFile(file.get(), bytes, sizeof(bytes), &nRead, nullptr)) return nSize;
  const std::optional<LogAppendJournal> journal = DecodeLogAppendJournal(bytes, nRead);
  return journal && journal->Encloses(nSize) ? journal->nBase : nSize;
}

}  // namespace suite
