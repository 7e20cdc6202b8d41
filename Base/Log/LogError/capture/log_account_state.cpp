#include "log_account_state.h"

#include <string>

#include "Win/folder_mutex.h"

namespace suite {

void LogAccountState::Open(const wchar_t* pszActiveLogPath) {
  const std::wstring folder = FolderOfFile(pszActiveLogPath);
  if (folder.empty()) return;
  const std::wstring name = FolderMutexName(kLogAccountStatePurpose, folder.c_str());
  FolderObjectSecurity security;
  // Created zero-filled: nothing dropped, no hint.
  m_section = CreateFolderSection(name, sizeof(Shared), security);
  if (!m_section) return;
  m_view = UniqueMappedView::Adopt(
      MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
  m_pShared = static_cast<Shared*>(m_view.get());
}

void LogAccountState::CountDrop() noexcept {
  LONG* const pDropped = &state()->nDropped;
  // Saturates rather than wraps. A negative count is an older build's that
  // wrapped: it stays as it is, and reads as saturated.
  for (LONG nSeen = InterlockedCompareExchange(pDropped, 0, 0); nSeen >= 0 && nSeen < LONG_MAX;) {
    const LONG nBefore = InterlockedCompareExchange(pDropped, nSeen + 1, nSeen);
    if (nBefore == nSeen) return;
    nSeen = nBefore;
  }
}

LONG LogAccountState::Dropped() noexcept {
  const LONG nDropped = InterlockedCompareExchange(&state()->nDropped, 0, 0);
  return nDropped < 0 ? kDropCountSaturated : nDropped;
}

void LogAccountState::Accounted(LONG nCount) noexcept {
  if (nCount == 0) return;
  LONG* const pDropped = &state()->nDropped;
  // Drops counted meanwhile stay; a count that saturated (or wrapped) meanwhile
  // goes with the account that says so.
  for (LONG nSeen = InterlockedCompareExchange(pDropped, 0, 0);;) {
    const LONG nAfter = nSeen >= nCount ? nSeen - nCount : 0;
    const LONG nBefore = InterlockedCompareExchange(pDropped, nAfter, nSeen);
    if (nBefore == nSeen) return;
    nSeen = nBefore;
  }
}

}  // namespace suite
