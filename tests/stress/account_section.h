// The writers' shared count of records dropped and not yet in an account
// lives only while some process has its section open. The driver holds it
// for the whole run, so that a count left by writers that ended, or were
// killed, still reaches the day's log at the next writer's turn or at the
// final roll-over.
#pragma once

#include <windows.h>

#include <string>

#include "Win/unique_resource.h"

namespace stress {

using namespace suite;

class AccountSectionHold {
 public:
  // Opens (or creates, zero-filled, as the library does) the section of the
  // data folder that holds `activeLogPath`.
  explicit AccountSectionHold(const std::wstring& activeLogPath);

  bool held() const { return m_view.valid(); }
  // Drops counted and not yet written as an account; -1 without the section.
  long DropsDue() const;

 private:
  UniqueKernelHandle m_section;
  UniqueMappedView m_view;
};

}  // namespace stress
