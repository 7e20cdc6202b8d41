#include "settings_lock.h"

namespace suite {

SettingsLock::SettingsLock(const std::wstring& folder)
    : m_mutex(OpenFolderMutex(kSettingsMutexPurpose, folder.c_str())) {
  // An abandoned mutex is owned all the same: the profile API's own write is
  // what the dead owner may have cut short, and nothing here can mend that.
  WaitForMutex(m_mutex.get(), kSettingsLockBoundMs, m_hold);
}

}  // namespace suite
