#include "active_log_gate.h"

#include <string>

#include "Win/folder_mutex.h"
#include "storage/log_exclusion.h"

namespace suite {

namespace {

constexpr wchar_t kActiveLogStatePurpose[] = L"ActiveLogState";

}  // namespace

bool ActiveLogGate::Open(const wchar_t* pszActiveLogPath, bool* pbCreatedOwned) {
  m_mutex = OpenLogFilesMutex(LogFiles::Active, pszActiveLogPath, pbCreatedOwned);
  if (!m_mutex) return false;
  const std::wstring name =
      FolderMutexName(kActiveLogStatePurpose, FolderOfFile(pszActiveLogPath).c_str());
  // Created zero-filled: nothing checked, nobody queued, no write begun.
  m_section = UniqueKernelHandle::Adopt(CreateFileMappingW(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), name.c_str()));
  if (m_section) {
    m_view = UniqueMappedView::Adopt(
        MapViewOfFile(m_section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
    m_pShared = static_cast<Shared*>(m_view.get());
  }
  // Alone, this process's writers always queue, and the mutex's abandonment
  // tells of a write that never ended.
  if (m_pShared == nullptr) m_local.nChecked = 1;
  return true;
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
  // its writers keep queueing.
  if (bOwnsMutex && m_pShared != nullptr) InterlockedExchange(&m_pShared->nChecked, 1);
}

}  // namespace suite
