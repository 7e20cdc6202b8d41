// The settings exclusion of a data folder: the profile API rewrites
// settings.ini whole on every write, so two processes writing different keys
// at once could each write back a file without the other's key. Every write,
// and every read-then-write, happens while owning this named mutex.
#pragma once

#include <windows.h>

#include <string>

#include "Win/folder_mutex.h"
#include "Win/unique_resource.h"

namespace suite {

// The purpose that names the mutex (folder_mutex.h).
inline constexpr wchar_t kSettingsMutexPurpose[] = L"Settings";

// How long one operation waits for the settings. A hold lasts one profile
// call, about a millisecond, so only a stuck process can use it up.
inline constexpr DWORD kSettingsLockBoundMs = 500;

// Owns the settings mutex of one folder while it lives, if it could be had.
// A thread may hold it more than once; each hold releases its own share.
class SettingsLock {
 public:
  explicit SettingsLock(const std::wstring& folder);
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

  bool held() const noexcept { return m_hold.valid(); }

 private:
  UniqueKernelHandle m_mutex;
  MutexHold m_hold;  // after m_mutex: released before the handle closes
};

}  // namespace suite
