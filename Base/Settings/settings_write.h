// One write into a settings file, as crt.dll and the tool both make it. The
// caller holds the folder's SettingsLock (settings_lock.h).
#pragma once

#include <string>

namespace suite {

// The profile API writes the file back in place, and a process that dies
// inside it leaves settings.ini short or empty: every key, the client
// identifier among them, would be gone. So the write goes into a copy that
// then replaces settings.ini in one step. A copy that a process dying here
// leaves behind is never read, and the next write starts it afresh. A null
// value removes the key.
bool WriteSettingThroughCopy(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                             const wchar_t* value);

}  // namespace suite
