// What the writers of one data folder have yet to account for, shared by
// every process of the suite that writes there: the records they dropped and
// not yet written an account of, and where the day's log holds its cap
// account. Kept in a named section of its own beside the writers' gate, so
// that the gate's section keeps the size every build of the library gives it.
//
// The section lives while any process has it open. A count whose processes
// all ended before one of them wrote it is lost with it; the place of the cap
// account is only a hint, checked against the file before it is used.
#pragma once

#include <windows.h>

#include <climits>

#include "Win/unique_resource.h"

namespace suite {

// The purpose that names the section (folder_mutex.h).
inline constexpr wchar_t kLogAccountStatePurpose[] = L"LogAccountState";

class LogAccountState {
 public:
  LogAccountState() = default;
  LogAccountState(const LogAccountState&) = delete;
  LogAccountState& operator=(const LogAccountState&) = delete;

  // Opens the section for the folder of `pszActiveLogPath`. Without it, this
  // process counts its own drops alone. Allocates.
  void Open(const wchar_t* pszActiveLogPath);

  // Where the count of drops stops: once there, later drops are not
  // counted, and the account says the count saturated.
  static constexpr LONG kDropCountSaturated = LONG_MAX;

  // A record that was not written and is not yet in any account.
  void CountDrop() noexcept;
  // The drops not yet in an account, at most kDropCountSaturated.
  LONG Dropped() noexcept;
  // `nCount` of the drops are in an account now; drops counted meanwhile stay.
  void Accounted(LONG nCount) noexcept;

  // Where the day's log may hold its cap account (offset), or -1 for no hint.
  LONG CapAccountHint() noexcept { return InterlockedCompareExchange(&state()->nCapAt, 0, 0) - 1; }
  void SetCapAccountHint(LONG nOffset) noexcept {
    InterlockedExchange(&state()->nCapAt, nOffset + 1);
  }

 private:
  struct Shared {
    LONG nDropped;
    LONG nCapAt;  // the cap account's offset plus 1; 0 when unknown
  };
  Shared* state() noexcept { return m_pShared != nullptr ? m_pShared : &m_local; }

  UniqueKernelHandle m_section;
  UniqueMappedView m_view;
  Shared* m_pShared = nullptr;
  Shared m_local = {};
};

}  // namespace suite
