// File operations: opening with folder creation, sizes, report paths.
#include <windows.h>

#include <string>

#include "Win/hresult_error.h"
#include "crt_api.h"
#include "data_folder.h"

namespace suite {

extern "C" HANDLE CRTAPI OpenFileHandle(LPCWSTR path, DWORD access, DWORD share,
                                        LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                        DWORD flagsAndAttributes, HANDLE templateFile,
                                        DWORD crtFlags) {
  if (path == nullptr || path[0] == L'\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool mayCreate =
      disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  if ((crtFlags & kOpenCreateFolder) != 0 && mayCreate) {
    // Without the folder the open below fails on its own.
    CatchAll([&] {
      std::wstring folder(path);
      size_t cut = folder.find_last_of(L"\\/");
      if (cut != std::wstring::npos && cut > 0) EnsureFolder(folder.substr(0, cut));
    });
  }
  return CreateFileW(path, access, share, security, disposition, flagsAndAttributes, templateFile);
}

extern "C" void CRTAPI PrepareReportPath(LPWSTR path) {
  if (path == nullptr) return;
  size_t length = wcslen(path);
  if (length < 4) return;
  LPWSTR extension = path + length - 4;
  if (extension[0] == L'.' && (extension[1] | 0x20) == L'x' && (extension[2] | 0x20) == L'm' &&
      (extension[3] | 0x20) == L'l') {
    extension[0] = L'_';
    extension[1] = L'\0';
  }
}

extern "C" BOOL CRTAPI GetFileSize64(LPCWSTR path, LONGLONG* size) {
  if (path == nullptr || size == nullptr) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return FALSE;
  *size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return TRUE;
}

}  // namespace suite
