// Version texts from version resources, and the suite's client identifier.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Win/hresult_error.h"
#include "bounded_text.h"
#include "crt_api.h"
#include "settings.h"

namespace suite {

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::wstring FileVersionOf(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  wchar_t text[64];
  swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
           HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return text;
}

}  // namespace

extern "C" BOOL CRTAPI GetFileVersionText(LPCWSTR path, LPWSTR buffer, DWORD capacity) {
  if (buffer == nullptr || capacity == 0) return FALSE;
  buffer[0] = L'\0';
  return CatchValue(FALSE, [&]() -> BOOL {
    if (path == nullptr || path[0] == L'\0') return FALSE;
    std::wstring version = FileVersionOf(path);
    CopyTextBounded(version, buffer, capacity);
    return !version.empty();
  });
}

extern "C" BOOL CRTAPI GetProductVersion(LPWSTR buffer, DWORD capacity, int) {
  if (buffer == nullptr || capacity == 0) return FALSE;
  buffer[0] = L'\0';
  return CatchValue(FALSE, [&]() -> BOOL {
    std::optional<std::wstring> configured = ReadSetting(L"General", L"ProductVersion");
    if (configured && !configured->empty()) {
      CopyTextBounded(*configured, buffer, capacity);
      return TRUE;
    }
    wchar_t self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    std::wstring version = FileVersionOf(self);
    CopyTextBounded(version, buffer, capacity);
    return !version.empty();
  });
}

extern "C" BOOL CRTAPI GetClientUuid(LPWSTR buffer, DWORD capacity) {
  if (buffer == nullptr || capacity == 0) return FALSE;
  return CatchValue(FALSE, [&]() -> BOOL {
    std::optional<std::wstring> uuid = ReadSetting(L"Client", L"Uuid");
    if (!uuid || uuid->empty()) {
      // Made before the settings are locked: nothing that may load a library
      // happens while another process could be waiting for them.
      GUID guid;
      wchar_t text[64] = {};
      if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 64) == 0) return FALSE;
      // Another process may store its own first: every process keeps that one.
      uuid = ReadOrAddSetting(L"Client", L"Uuid", text);
      if (!uuid || uuid->empty()) return FALSE;
    }
    CopyTextBounded(*uuid, buffer, capacity);
    return TRUE;
  });
}

}  // namespace suite
