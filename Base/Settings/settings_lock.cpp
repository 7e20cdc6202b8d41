#include "settings_lock.h"

namespace suite {

SettingsLock::SettingsLock(const std::wstring& folder)
    : mutex_(OpenFolderMutex(kSettingsMutexPurpose, folder.c_str())) {
  // An abandoned mutex is owned all the same: the profile API's own write is
  // what the dead owner may have cut short, and nothing here can mend that.
  WaitForMutex(mutex_.get(), kSettingsLockBoundMs, hold_);
}

}  // namespace suite
