#include "com_registration.h"

#include <windows.h>

#include <vector>

namespace {

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{B4D4A31A-62CC-4622-98AC-9E6255D1851F}";
constexpr wchar_t kThreadingModel[] = L"Apartment";

class UniqueKey {
 public:
  UniqueKey() = default;
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  ~UniqueKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* put() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

HKEY Root(bool perUser) { return perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring FullPath(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::wstring();
  std::vector<wchar_t> buffer(length);
  length = GetFullPathNameW(path.c_str(), length, buffer.data(), nullptr);
  return std::wstring(buffer.data(), length);
}

}  // namespace

int RegisterLogSender(const std::wstring& dllPath, bool perUser) {
  const std::wstring fullPath = FullPath(dllPath);
  if (fullPath.empty()) return static_cast<int>(GetLastError());
  const DWORD attributes = GetFileAttributesW(fullPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ERROR_FILE_NOT_FOUND;
  }
  UniqueKey server;
  const std::wstring serverKey = std::wstring(kClassKey) + L"\\InprocServer32";
  LSTATUS status = RegCreateKeyExW(Root(perUser), serverKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, server.put(), nullptr);
  if (status == ERROR_SUCCESS) status = SetText(server.get(), nullptr, fullPath);
  if (status == ERROR_SUCCESS) status = SetText(server.get(), L"ThreadingModel", kThreadingModel);
  if (status != ERROR_SUCCESS) UnregisterLogSender(perUser);  // no half registration
  return static_cast<int>(status);
}

int UnregisterLogSender(bool perUser) {
  LSTATUS status = RegDeleteTreeW(Root(perUser), kClassKey);
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(Root(perUser), kClassKey);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<int>(status);
}
