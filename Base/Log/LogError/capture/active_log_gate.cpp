#include "active_log_gate.h"

#include <string>

#include "storage/log_exclusion.h"

namespace suite {

namespace {

constexpr wchar_t kActiveLogStatePurpose[] = L"ActiveLogState";

}  // namespace

bool ActiveLogGate::Open(const wchar_t* pszActiveLogPath, MutexHold* pFirst) {
  // Everything that allocates comes first: once the mutex is made owned,
  // nothing may throw before the hold has it.
  const std::wstring folder = FolderOfFile(pszActiveLogPath);
  if (folder.empty()) return false;
  const std::wstring mutexName = FolderMutexName(kActiveLogMutexPurpose, folder.c_str());
  const std::wstring sectionName = FolderMutexName(kActiveLogStatePurpose, folder.c_str());
  FolderObjectSecurity security;

  bool bCreatedOwned = false;
  m_mutex = CreateFolderMutex(mutexName, security, pFirst != nullptr ? &bCreatedOwned : nullptr);
  if (bCreatedOwned) *pFirst = MutexHold::Adopt(m_mutex.get());
  // Created zero-filled: nothing checked, nobody queued, no write begun.
  m_section = CreateFolderSection(sectionName, sizeof(Shared), security);
  if (m_section) {
    m_view = UniqueMappedView::Adopt(
        MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
    m_pShared = static_cast<Shared*>(m_view.get());
  }
  // Alone, this process's writers always queue, and the mutex's abandonment
  // tells of a write that never ended.
  if (m_pShared == nullptr && m_mutex) m_local.nChecked = 1;
  return m_mutex.valid();
}

bool ActiveLogGate::MayGoAhead() const noexcept {
  return m_pShared != nullptr && InterlockedCompareExchange(&m_pShared->nChecked, 0, 0) != 0 &&
         InterlockedCompareExchange(&m_pShared->nQueued, 0, 0) == 0;
}

ActiveLogGate::Membership::Membership(ActiveLogGate* pGate) noexcept : m_pGate(pGate) {
  InterlockedIncrement(&m_pGate->state()->nQueued);
}

ActiveLogGate::Membership::Membership(Membership&& other) noexcept : m_pGate(other.m_pGate) {
  other.m_pGate = nullptr;
}

ActiveLogGate::Membership& ActiveLogGate::Membership::operator=(Membership&& other) noexcept {
  if (this != &other) {
    Leave();
    m_pGate = other.m_pGate;
    other.m_pGate = nullptr;
  }
  return *this;
}

ActiveLogGate::Membership::~Membership() { Leave(); }

void ActiveLogGate::Membership::Leave() noexcept {
  if (m_pGate != nullptr) InterlockedDecrement(&m_pGate->state()->nQueued);
  m_pGate = nullptr;
}

bool ActiveLogGate::BeginWrite() noexcept {
  const bool bUnfinished = InterlockedExchange(&state()->nWriting, 1) != 0;
  return bUnfinished || InterlockedCompareExchange(&state()->nChecked, 0, 0) == 0;
}

void ActiveLogGate::EndWrite(bool bTailWhole, bool bOwnsMutex) noexcept {
  if (!bTailWhole) return;
  InterlockedExchange(&state()->nWriting, 0);
  // Without the section this process cannot see other processes' writes, so
  // its writers keep queueing. A writer without a mutex had the file to
  // itself all the same: the share mode lets in one writer at a time.
  if ((bOwnsMutex || !m_mutex) && m_pShared != nullptr) {
    InterlockedExchange(&m_pShared->nChecked, 1);
  }
}

}  // namespace suite
