#include "data_folder.h"

#include <windows.h>

#include <vector>

#include "Win/hresult_error.h"
#include "bounded_text.h"
#include "crt_api.h"

namespace suite {

namespace {

std::wstring EnvironmentText(const wchar_t* name) {
  DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed);
  DWORD length = GetEnvironmentVariableW(name, buffer.data(), needed);
  if (length == 0 || length >= needed) return {};
  return std::wstring(buffer.data(), length);
}

}  // namespace

bool EnsureFolder(const std::wstring& folder) {
  if (folder.empty()) return false;
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t cut = folder.find_last_of(L"\\/");
  // A parent that is a drive ("C:") or the root needs no creating.
  if (cut != std::wstring::npos && cut > 0 && folder[cut - 1] != L':') {
    EnsureFolder(folder.substr(0, cut));
  }
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring DataFolder() {
  std::wstring folder = EnvironmentText(L"CRT_DATA_DIR");
  if (folder.empty()) {
    std::wstring appData = EnvironmentText(L"APPDATA");
    if (appData.empty()) return {};
    folder = appData + L"\\PlayerSuite";
  }
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  EnsureFolder(folder);
  return folder;
}

extern "C" BOOL CRTAPI GetDataFilePath(LPCWSTR fileName, LPWSTR buffer, DWORD capacity,
                                       int folderKind, int, int) {
  if (buffer == nullptr || capacity == 0) return FALSE;
  buffer[0] = L'\0';
  return CatchValue(FALSE, [&]() -> BOOL {
    if (folderKind != 4 || fileName == nullptr) return FALSE;
    std::wstring folder = DataFolder();
    if (folder.empty()) return FALSE;
    std::wstring path = folder + L"\\" + fileName;
    // A path cut short would name another file: hand out none instead.
    if (path.size() >= capacity) return FALSE;
    CopyTextBounded(path, buffer, capacity);
    return TRUE;
  });
}

}  // namespace suite
