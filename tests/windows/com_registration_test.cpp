// Registration for installers, and activation through plain CoCreateInstance
// by a separate client process. Wine looks classes up only under the machine's
// key, so activation is tried after a machine-wide registration; the per-user
// registration is checked in the registry itself.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "LogError.h"
#include "com_registration.h"
#include "temp_data_folder.h"

namespace {

std::wstring ClassKey() {
  wchar_t clsid[40];
  StringFromGUID2(CLSID_LogSender, clsid, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
}

std::wstring ReadText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  DWORD bytes = sizeof(value);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS) {
    return L"<absent>";
  }
  return value;
}

void ExpectRegistered(HKEY root, const std::wstring& dllPath) {
  const std::wstring server = ClassKey() + L"\\InprocServer32";
  EXPECT_EQ(ReadText(root, server, nullptr), dllPath);
  EXPECT_EQ(ReadText(root, server, L"ThreadingModel"), L"Apartment");
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

DWORD RunClient() { return RunProgram(L"com_client.exe"); }

TEST(ComRegistrationTest, RegisteredClassIsActivatedUntilUnregistered) {
  TempDataFolder folder;  // the client inherits it
  const std::wstring dll = ProgramFolder() + L"\\LogError.dll";
  UnregisterLogSender(false);
  EXPECT_EQ(RunClient(), static_cast<DWORD>(REGDB_E_CLASSNOTREG)) << "before registration";

  ASSERT_EQ(RegisterLogSender(dll, false), 0);
  ExpectRegistered(HKEY_LOCAL_MACHINE, dll);
  EXPECT_EQ(RunClient(), 0u);

  EXPECT_EQ(UnregisterLogSender(false), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
  EXPECT_EQ(RunClient(), static_cast<DWORD>(REGDB_E_CLASSNOTREG));
  EXPECT_EQ(UnregisterLogSender(false), 0) << "unregistering twice is no error";
}

TEST(ComRegistrationTest, PerUserRegistrationAndBadPaths) {
  SetCurrentDirectoryW(ProgramFolder().c_str());
  ASSERT_EQ(RegisterLogSender(L"LogError.dll", true), 0);
  ExpectRegistered(HKEY_CURRENT_USER, ProgramFolder() + L"\\LogError.dll");  // the full path
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
  EXPECT_EQ(UnregisterLogSender(true), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ClassKey()));

  EXPECT_EQ(RegisterLogSender(ProgramFolder() + L"\\missing.dll", false), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegisterLogSender(ProgramFolder(), false), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
}

}  // namespace
