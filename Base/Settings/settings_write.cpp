#include "settings_write.h"

#include <windows.h>

#include "Win/unique_resource.h"

namespace suite {

bool WriteSettingThroughCopy(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                             const wchar_t* value) {
  const std::wstring copy = path + L".new";
  if (!CopyFileW(path.c_str(), copy.c_str(), FALSE)) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    DeleteFileW(copy.c_str());  // no settings yet: nothing of a leftover may come in
  }
  bool written = WritePrivateProfileStringW(section, key, value, copy.c_str()) != FALSE;
  // Removing a key from no settings at all writes nothing, and needs nothing.
  if (written && GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  if (written) {
    UniqueFileHandle file = UniqueFileHandle::Adopt(
        CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    written = file && FlushFileBuffers(file.get());
  }
  if (written) {
    written = MoveFileExW(copy.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }
  if (!written) DeleteFileW(copy.c_str());
  return written;
}

}  // namespace suite
