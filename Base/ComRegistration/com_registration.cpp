#include "com_registration.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "Win/unique_reg_key.h"
#include "Win/unique_resource.h"
#include "registry_writes.h"

namespace suite {

namespace {

constexpr wchar_t kClassId[] = L"{B4D4A31A-62CC-4622-98AC-9E6255D1851F}";
constexpr wchar_t kInterfaceId[] = L"{B04181FB-25E7-417A-B59E-D21413EB8C5D}";
constexpr wchar_t kTypeLibId[] = L"{6C1F4E2A-8B3D-4F5E-9A7C-2D4B6E8F1A3C}";
constexpr wchar_t kTypeLibVersion[] = L"1.0";
// The system's marshaler for interfaces that a type library describes.
constexpr wchar_t kTypeLibMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kClassKey = kClasses + L"CLSID\\" + kClassId;
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";
const std::wstring kInterfaceKey = kClasses + L"Interface\\" + kInterfaceId;
const std::wstring kTypeLibKey = kClasses + L"TypeLib\\" + kTypeLibId;
const std::wstring kTypeLibVersionKey = kTypeLibKey + L"\\" + kTypeLibVersion;

HKEY Root(bool perUser) { return perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

struct Library {
  std::wstring path;
  REGSAM view;              // where CLSID and Interface go
  const wchar_t* platform;  // the TypeLib subkey
};

std::wstring FullPath(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::wstring();
  std::vector<wchar_t> buffer(length);
  length = GetFullPathNameW(path.c_str(), length, buffer.data(), nullptr);
  return std::wstring(buffer.data(), length);
}

// The machine type from the PE header: 0 when the file is no PE image.
WORD ImageMachine(const std::wstring& path) {
  UniqueFileHandle file;
  file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  auto readAt = [&](LONG offset, void* buffer, DWORD bytes) {
    DWORD read = 0;
    return SetFilePointer(file.get(), offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(file.get(), buffer, bytes, &read, nullptr) && read == bytes;
  };
  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!readAt(0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
      !readAt(dos.e_lfanew, &signature, sizeof(signature)) || signature != IMAGE_NT_SIGNATURE ||
      !readAt(dos.e_lfanew + static_cast<LONG>(sizeof(signature)), &header, sizeof(header))) {
    return 0;
  }
  return header.Machine;
}

// ERROR_SUCCESS with `library` filled, or why the file cannot be registered.
int Describe(const std::wstring& dllPath, Library& library) {
  library.path = FullPath(dllPath);
  if (library.path.empty()) return static_cast<int>(GetLastError());
  const DWORD attributes = GetFileAttributesW(library.path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ERROR_FILE_NOT_FOUND;
  }
  switch (ImageMachine(library.path)) {
    case IMAGE_FILE_MACHINE_I386:
      library.view = KEY_WOW64_32KEY;
      library.platform = L"win32";
      return ERROR_SUCCESS;
    case IMAGE_FILE_MACHINE_AMD64:
      library.view = KEY_WOW64_64KEY;
      library.platform = L"win64";
      return ERROR_SUCCESS;
    default:
      return ERROR_BAD_EXE_FORMAT;
  }
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// TypeLib is one key for both views on Windows; writing and removing it in
// both views also covers hosts that keep two copies.
constexpr REGSAM kBothViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

bool HasSubkeys(HKEY root, REGSAM view, const std::wstring& key) {
  UniqueRegKey opened;
  DWORD subkeys = 0;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS &&
         RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

}  // namespace

int RegisterLogSender(const std::wstring& dllPath, bool perUser) {
  Library library;
  if (int error = Describe(dllPath, library); error != ERROR_SUCCESS) return error;
  const std::wstring platformKey = kTypeLibVersionKey + L"\\0\\" + library.platform;
  std::vector<RegistryWrite> writes;
  for (REGSAM view : kBothViews) {
    writes.push_back({view, kTypeLibVersionKey, L"", L"Error log sender"});
    writes.push_back({view, kTypeLibVersionKey + L"\\FLAGS", L"", L"0"});
    writes.push_back({view, kTypeLibVersionKey + L"\\HELPDIR", L"", Folder(library.path)});
    writes.push_back({view, platformKey, L"", library.path});
  }
  const REGSAM view = library.view;
  writes.push_back({view, kInterfaceKey, L"", L"IKRLogSender"});
  writes.push_back({view, kInterfaceKey + L"\\ProxyStubClsid32", L"", kTypeLibMarshaler});
  writes.push_back({view, kInterfaceKey + L"\\TypeLib", L"", kTypeLibId});
  writes.push_back({view, kInterfaceKey + L"\\TypeLib", L"Version", kTypeLibVersion});
  writes.push_back({view, kClassKey, L"", L"Error log sender"});
  writes.push_back({view, kClassKey + L"\\TypeLib", L"", kTypeLibId});
  writes.push_back({view, kServerKey, L"ThreadingModel", L"Apartment"});
  // Last: the server's path is what switches clients over to this library.
  writes.push_back({view, kServerKey, L"", library.path});
  return static_cast<int>(RegistryWrites(Root(perUser)).Apply(writes));
}

int UnregisterLogSender(const std::wstring& dllPath, bool perUser, std::wstring* otherCopy) {
  Library library;
  if (int error = Describe(dllPath, library); error != ERROR_SUCCESS) {
    // A library that is gone may still be registered: its path says which.
    if (error != ERROR_FILE_NOT_FOUND) return error;
    library = {FullPath(dllPath), 0, nullptr};
  }
  const HKEY root = Root(perUser);
  int result = ERROR_SUCCESS;
  for (REGSAM view : kBothViews) {
    if (library.view != 0 && view != library.view) continue;
    const std::optional<std::wstring> server = ReadRegistryText(root, view, kServerKey, L"");
    if (!server) continue;
    if (!SamePath(*server, library.path)) {
      result = kRegisteredElsewhere;
      if (otherCopy != nullptr) *otherCopy = *server;
      continue;
    }
    const wchar_t* platform = view == KEY_WOW64_32KEY ? L"win32" : L"win64";
    for (LSTATUS status : {DeleteRegistryTree(root, view, kClassKey),
                           DeleteRegistryTree(root, view, kInterfaceKey)}) {
      if (status != ERROR_SUCCESS) return static_cast<int>(status);
    }
    for (REGSAM typeLibView : kBothViews) {
      DeleteRegistryTree(root, typeLibView, kTypeLibVersionKey + L"\\0\\" + platform);
      if (!HasSubkeys(root, typeLibView, kTypeLibVersionKey + L"\\0")) {
        DeleteRegistryTree(root, typeLibView, kTypeLibKey);
      }
    }
  }
  return result;
}

}  // namespace suite
