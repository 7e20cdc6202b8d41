// Registration for installers, and activation through plain CoCreateInstance
// by a separate client process. Wine looks classes up only under the machine's
// key, so activation is tried after a machine-wide registration; the per-user
// registration is checked in the registry itself.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ComRegistration/com_registration.h"
#include "ComRegistration/registry_writes.h"
#include "LogError.h"
#include "Win/unique_reg_key.h"
#include "com_test_helpers.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

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
  UnregisterLogSender(dll, false);
  EXPECT_EQ(RunClient(), static_cast<DWORD>(REGDB_E_CLASSNOTREG)) << "before registration";

  ASSERT_EQ(RegisterLogSender(dll, false), 0);
  ExpectRegistered(HKEY_LOCAL_MACHINE, dll);
  EXPECT_EQ(RunClient(), 0u);

  EXPECT_EQ(UnregisterLogSender(dll, false), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
  EXPECT_EQ(RunClient(), static_cast<DWORD>(REGDB_E_CLASSNOTREG));
  EXPECT_EQ(UnregisterLogSender(dll, false), 0) << "unregistering twice is no error";
}

TEST(ComRegistrationTest, PerUserRegistrationAndBadPaths) {
  SetCurrentDirectoryW(ProgramFolder().c_str());
  ASSERT_EQ(RegisterLogSender(L"LogError.dll", true), 0);
  ExpectRegistered(HKEY_CURRENT_USER, ProgramFolder() + L"\\LogError.dll");  // the full path
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
  EXPECT_EQ(UnregisterLogSender(L"LogError.dll", true), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ClassKey()));

  EXPECT_EQ(RegisterLogSender(ProgramFolder() + L"\\missing.dll", false), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegisterLogSender(ProgramFolder(), false), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey()));
}

}  // namespace

namespace {

// A file that reads as a PE image of `machine`: registration looks no further.
std::wstring FakeLibrary(const TempDataFolder& folder, const wchar_t* name, WORD machine) {
  std::vector<unsigned char> bytes(0x40 + 4 + sizeof(IMAGE_FILE_HEADER), 0);
  bytes[0] = 'M', bytes[1] = 'Z', bytes[0x3C] = 0x40;
  bytes[0x40] = 'P', bytes[0x41] = 'E';
  bytes[0x44] = static_cast<unsigned char>(machine), bytes[0x45] = machine >> 8;
  const std::wstring path = folder.File(name);
  EXPECT_TRUE(WriteFileBytes(path, bytes));
  return path;
}

std::optional<std::wstring> Server(REGSAM view) {
  return ReadRegistryText(HKEY_LOCAL_MACHINE, view, ClassKey() + L"\\InprocServer32", L"");
}

const std::wstring kTypeLibVersionKey =
    L"Software\\Classes\\TypeLib\\{6C1F4E2A-8B3D-4F5E-9A7C-2D4B6E8F1A3C}\\1.0\\0\\";

}  // namespace

// Each library lands in the view of its own machine type, an unregister of
// another copy leaves it alone, and a file that is no library changes nothing.
TEST(ComRegistrationTest, ViewsFollowTheLibraryAndOtherCopiesAreLeftAlone) {
  TempDataFolder folder;
  struct Case {
    WORD machine;
    REGSAM view, otherView;
    const wchar_t* platform;
  } cases[] = {{IMAGE_FILE_MACHINE_I386, KEY_WOW64_32KEY, KEY_WOW64_64KEY, L"win32"},
               {IMAGE_FILE_MACHINE_AMD64, KEY_WOW64_64KEY, KEY_WOW64_32KEY, L"win64"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    const std::wstring library = FakeLibrary(folder, L"LogError.dll", c.machine);
    const std::wstring other = FakeLibrary(folder, L"Other.dll", c.machine);
    UnregisterLogSender(ProgramFolder() + L"\\LogError.dll", false);
    ASSERT_EQ(RegisterLogSender(library, false), 0);
    EXPECT_EQ(Server(c.view), library);
    EXPECT_NE(Server(c.otherView), library);
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, c.view,
                               L"Software\\Classes\\Interface\\"
                               L"{B04181FB-25E7-417A-B59E-D21413EB8C5D}\\ProxyStubClsid32",
                               L""),
              L"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(
        ReadRegistryText(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kTypeLibVersionKey + c.platform, L""),
        library);

    const std::wstring notLibrary = folder.File(L"notes.txt");
    ASSERT_TRUE(WriteFileBytes(notLibrary, {'M', 'Z', 'x'}));
    EXPECT_EQ(RegisterLogSender(notLibrary, false), ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(UnregisterLogSender(other, false), kRegisteredElsewhere);
    EXPECT_EQ(Server(c.view), library) << "a failed register or another copy's unregister";

    EXPECT_EQ(UnregisterLogSender(library, false), 0);
    EXPECT_FALSE(Server(c.view));
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY,
                                  kTypeLibVersionKey + c.platform, L""));
  }
}

// A register that fails part of the way puts back another copy's values as
// they were stored: their type and their bytes, unexpanded and unterminated.
TEST(ComRegistrationTest, FailedRegisterPutsBackEveryOldValueWithItsTypeAndBytes) {
  TempDataFolder folder;
  UnregisterLogSender(ProgramFolder() + L"\\LogError.dll", false);
  const std::wstring typeLib = kTypeLibVersionKey.substr(0, kTypeLibVersionKey.size() - 3);
  const auto bytes = [](const void* p, std::size_t n) {
    return std::vector<std::uint8_t>(static_cast<const std::uint8_t*>(p),
                                     static_cast<const std::uint8_t*>(p) + n);
  };
  const DWORD zero = 0;
  const struct {
    std::wstring key;
    RegistryValue value;
  } old[] = {
      {kTypeLibVersionKey + L"win32", {REG_EXPAND_SZ, bytes(L"%SystemRoot%\\x\\LogError.dll", 56)}},
      {typeLib + L"\\FLAGS", {REG_DWORD, bytes(&zero, 4)}},
      {typeLib + L"\\HELPDIR", {REG_SZ, bytes(L"C:\\unterminated", 30)}},
  };
  for (const auto& o : old) {
    UniqueRegKey key;
    std::vector<std::uint8_t> guarded = o.value.bytes;  // no terminator after the count
    guarded.insert(guarded.end(), {0xFF, 0xFF});
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, o.key.c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr) |
                  RegSetValueExW(key.get(), nullptr, 0, o.value.type, guarded.data(),
                                 static_cast<DWORD>(o.value.bytes.size())),
              ERROR_SUCCESS);
  }
  // A volatile class key takes no lasting subkey: the register fails there,
  // after the type library's values were written.
  UniqueRegKey volatileKey;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey().c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, volatileKey.put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_NE(RegisterLogSender(FakeLibrary(folder, L"LogError.dll", IMAGE_FILE_MACHINE_I386), false),
            0);
  for (const auto& o : old) {
    LSTATUS status = ERROR_SUCCESS;
    const std::optional<RegistryValue> now =
        ReadRegistryValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, o.key, L"", status);
    ASSERT_TRUE(now) << status;
    EXPECT_EQ(std::make_pair(now->type, now->bytes), std::make_pair(o.value.type, o.value.bytes))
        << o.key;
  }
  EXPECT_FALSE(Server(KEY_WOW64_32KEY));
  volatileKey.reset();
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, view, ClassKey());
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, view, typeLib.substr(0, typeLib.size() - 4));
  }
}

// A client in the multithreaded apartment gets a proxy to the object, which
// lives in an apartment of its own; the calls and their results cross over.
TEST(ComRegistrationTest, MultithreadedClientCallsThroughTheTypeLibraryMarshaler) {
  TempDataFolder folder;
  logtest::LogBytesBuilder builder;
  builder.Record(logtest::RecordFields().Message(u"from a thread pool"));
  ASSERT_TRUE(WriteFileBytes(folder.File(L"error.bf"), builder.Bytes()));
  const std::wstring dll = ProgramFolder() + L"\\LogError.dll";
  ASSERT_EQ(RegisterLogSender(dll, false), 0);

  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      ComPtr<IKRLogSender> sender;
      ASSERT_EQ(CoCreateInstance(CLSID_LogSender, nullptr, CLSCTX_INPROC_SERVER, IID_IKRLogSender,
                                 sender.put_void()),
                S_OK);
      ComPtr<IUnknown> proxyOnly;
      EXPECT_EQ(sender->QueryInterface(IID_IMultiQI, proxyOnly.put_void()), S_OK)
          << "the client must hold a proxy, not the apartment object itself";
      BSTR report = nullptr;
      EXPECT_EQ(sender->GetReport(&report, 1), 1);
      UniqueBstr owned;
      owned.reset(report);
      EXPECT_NE(std::wstring(report ? report : L"").find(L"from a thread pool"),
                std::wstring::npos);
      EXPECT_EQ(sender->MarkReportSent(), S_OK);
    }
    CoUninitialize();
  }).join();
  EXPECT_FALSE(FileExists(folder.File(L"error.bf")) &&
               ReadFileBytes(folder.File(L"error.bf")).size() > sizeof(LogFileHeader))
      << "what was delivered is removed";
  EXPECT_EQ(UnregisterLogSender(dll, false), 0);
}
