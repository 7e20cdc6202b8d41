#include "account_section.h"

#include "Win/folder_mutex.h"
#include "capture/log_account_state.h"

using namespace suite;

namespace stress {

namespace {

// The library's layout: the drops' count, then the cap account's place.
constexpr DWORD kSectionBytes = 2 * sizeof(LONG);

}  // namespace

AccountSectionHold::AccountSectionHold(const std::wstring& activeLogPath) {
  const std::wstring folder = FolderOfFile(activeLogPath.c_str());
  const std::wstring name = FolderMutexName(kLogAccountStatePurpose, folder.c_str());
  m_section = UniqueKernelHandle::Adopt(CreateFileMappingW(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionBytes, name.c_str()));
  if (m_section) {
    // Writable: an interlocked read writes the page, if only what it read.
    m_view = UniqueMappedView::Adopt(
        MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kSectionBytes));
  }
}

long AccountSectionHold::DropsDue() const {
  if (!m_view) return -1;
  // Read as the library reads it.
  return InterlockedCompareExchange(static_cast<LONG*>(m_view.get()), 0, 0);
}

}  // namespace stress
