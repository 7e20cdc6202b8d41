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

}  // namespace suite
