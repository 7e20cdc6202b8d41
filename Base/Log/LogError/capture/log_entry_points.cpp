// LogError, LogWarning and LogException: build one record on the caller's
// thread and hand it to the store manager. Nothing reaches the caller, not
// even an exception.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string_view>
#include <vector>

#include "LogError.h"
#include "Win/hresult_error.h"
#include "format/log_accounts.h"
#include "format/log_format.h"
#include "log_store_manager.h"
#include "utility/crt_operations.h"

namespace suite {

namespace {

constexpr DWORD kModuleVersionChars = 64;

// Copies at most 31 characters and a terminator into a zero-filled field.
void CopyToField(char16_t (&field)[kLogTextFieldChars], std::wstring_view text) {
  std::memset(field, 0, sizeof(field));
  std::size_t count = text.size() < kLogTextFieldChars - 1 ? text.size() : kLogTextFieldChars - 1;
  std::memcpy(field, text.data(), count * sizeof(wchar_t));
}

std::wstring_view UpToZero(const wchar_t* text, std::size_t capacity) {
  return std::wstring_view(text, wcsnlen(text, capacity));
}

void AppendText(std::vector<std::byte>& area, std::wstring_view text) {
  const std::byte* bytes = reinterpret_cast<const std::byte*>(text.data());
  area.insert(area.end(), bytes, bytes + text.size() * sizeof(wchar_t));
  area.insert(area.end(), sizeof(wchar_t), std::byte{0});
}

std::uint32_t TextBytes(std::wstring_view text) {
  return static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t));
}

// One record always fits into an empty day's log below the accounts' reserve,
// and its lengths always match its bytes: a longer message, then value, is
// cut to fit. Only a 64-bit caller can pass texts that long.
constexpr std::uint64_t kMaxStringBytes =
    kLogRecordLimit - sizeof(LogFileHeader) - sizeof(LogRecordHeader);

std::wstring_view CutToBytes(std::wstring_view text, std::uint64_t budgetWithTerminator) {
  const std::uint64_t chars = budgetWithTerminator >= 2 ? budgetWithTerminator / 2 - 1 : 0;
  return text.size() > chars ? text.substr(0, static_cast<std::size_t>(chars)) : text;
}

void WriteRecord(RecordKind kind, std::int32_t defaultCode, HMODULE hModule, LONG nCode,
                 LPCWSTR pszMessage, LPCWSTR pszValue) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  const CLogStoreManager& store = g_logStoreManager;

  wchar_t moduleName[MAX_PATH] = {};
  wchar_t moduleVersion[kModuleVersionChars] = {};
  if (hModule != nullptr) {
    wchar_t modulePath[MAX_PATH] = {};
    GetModuleFileNameW(hModule, modulePath, MAX_PATH);
    if (GetModuleBaseNameW(GetCurrentProcess(), hModule, moduleName, MAX_PATH) == 0) {
      moduleName[0] = L'\0';
    }
    GetFileVersionText(modulePath, moduleVersion, kModuleVersionChars);
  } else {
    std::wcsncpy(moduleVersion, store.m_strAppVersion.c_str(), kModuleVersionChars - 1);
    std::wcsncpy(moduleName, store.m_strAppName.c_str(), MAX_PATH - 1);
  }
  moduleName[MAX_PATH - 1] = L'\0';
  moduleVersion[kModuleVersionChars - 1] = L'\0';

  LogRecordHeader header;
  std::memset(&header, 0, sizeof(header));
  header.HeaderSize = kLogRecordHeaderSize;
  header.FormatTag = kLogRecordFormatTag;
  header.Kind = static_cast<std::uint32_t>(kind);
  header.Reserved = 0;
  header.ErrorCode = nCode != 0 ? nCode : defaultCode;
  CopyToField(header.ProductVersion, store.m_strProductVersion);
  CopyToField(header.AppVersion, store.m_strAppVersion);
  CopyToField(header.ModuleVersion, UpToZero(moduleVersion, kModuleVersionChars));

  std::wstring_view appName = store.m_strAppName;
  std::wstring_view module = UpToZero(moduleName, MAX_PATH);
  std::wstring_view message = pszMessage != nullptr ? std::wstring_view(pszMessage) : L"";
  std::wstring_view value = pszValue != nullptr ? std::wstring_view(pszValue) : L"";
  header.AppNameBytes = TextBytes(appName);
  header.ModuleNameBytes = TextBytes(module);
  std::uint64_t budget = kMaxStringBytes - header.AppNameBytes - header.ModuleNameBytes;
  // A short value keeps its room; of two long texts each keeps half at least.
  const std::uint64_t valueRoom =
      pszValue != nullptr
          ? std::min<std::uint64_t>((value.size() + 1) * sizeof(wchar_t), budget / 2)
          : 0;
  message = CutToBytes(message, budget - valueRoom);
  header.MessageBytes = TextBytes(message);
  if (pszValue != nullptr) value = CutToBytes(value, budget - header.MessageBytes);
  header.ValueBytes = pszValue != nullptr ? TextBytes(value) : 0;
  header.StringBytes =
      header.AppNameBytes + header.ModuleNameBytes + header.MessageBytes + header.ValueBytes;

  std::vector<std::byte> area;
  area.reserve(header.StringBytes);
  AppendText(area, appName);
  AppendText(area, module);
  AppendText(area, message);
  if (pszValue != nullptr) AppendText(area, value);

  g_logStoreManager.AppendRecord(header, area.data(), area.size());
}

// A record that cannot be built is dropped and counted, like one that cannot
// be written.
void WriteRecordNoThrow(RecordKind kind, std::int32_t defaultCode, HMODULE hModule, LONG nCode,
                        LPCWSTR pszMessage, LPCWSTR pszValue) noexcept {
  const bool bBuilt = CatchValue(false, [&] {
    WriteRecord(kind, defaultCode, hModule, nCode, pszMessage, pszValue);
    return true;
  });
  if (!bBuilt) g_logStoreManager.CountDrop();
}

}  // namespace

extern "C" void WINAPI LogError(HMODULE hModule, LONG nCode, LPCWSTR pszMessage, LPCWSTR pszValue) {
  WriteRecordNoThrow(RecordKind::Error, kDefaultErrorCode, hModule, nCode, pszMessage, pszValue);
}

extern "C" void WINAPI LogWarning(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                  LPCWSTR pszValue) {
  WriteRecordNoThrow(RecordKind::Warning, kDefaultWarningCode, hModule, nCode, pszMessage,
                     pszValue);
}

extern "C" void WINAPI LogException(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                    LPCWSTR pszValue) {
  WriteRecordNoThrow(RecordKind::Exception, kDefaultExceptionCode, hModule, nCode, pszMessage,
                     pszValue);
}

}  // namespace suite
