// Named kernel objects that every process of the suite derives alike from a
// data folder and a purpose: mutexes, so that threads and processes working
// on that folder's files queue for them, and the small sections beside them.
//
// Naming and opening allocate and call the kernel; waiting and releasing do
// neither. Callers that must not take the loader lock while holding a mutex
// open it first and only then wait.
//
// The objects are made open to every process of the user, whatever the
// elevation of the one that makes them: an elevated process's default
// security would admit only administrators and the system, and lock the
// user's other processes out of the name.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "unique_resource.h"

namespace suite {

// The folder as every process names it: full, long-form, with backslashes,
// without a trailing separator, and upper-cased, because the file system
// compares names without case. Falls back to the text as given where the
// platform cannot resolve it.
inline std::wstring CanonicalFolderText(const wchar_t* pszFolder) {
  std::wstring text = pszFolder != nullptr ? pszFolder : L"";
  if (DWORD need = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr); need != 0) {
    std::wstring full(need, L'\0');
    DWORD length = GetFullPathNameW(text.c_str(), need, full.data(), nullptr);
    if (length != 0 && length < need) text.assign(full.data(), length);
  }
  // An 8.3 alias and the long name are one folder.
  if (DWORD need = GetLongPathNameW(text.c_str(), nullptr, 0); need != 0) {
    std::wstring longText(need, L'\0');
    DWORD length = GetLongPathNameW(text.c_str(), longText.data(), need);
    if (length != 0 && length < need) text.assign(longText.data(), length);
  }
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  while (text.size() > 3 && text.back() == L'\\') text.pop_back();
  if (!text.empty()) {
    std::wstring upper(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length, upper.data(),
                      length, nullptr, nullptr, 0) == length) {
      text = upper;
    }
  }
  return text;
}

// "Local\PlayerSuite.<purpose>.<16 hex digits>": a 64-bit FNV-1a hash of the
// canonical folder. Mutex names allow no backslash after the namespace and
// are compared with case, hence the hash of a case-folded text.
inline std::wstring FolderMutexName(std::wstring_view purpose, const wchar_t* pszFolder) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (wchar_t c : CanonicalFolderText(pszFolder)) {
    hash = (hash ^ static_cast<std::uint16_t>(c)) * 0x100000001B3ull;
  }
  wchar_t digits[17] = {};
  for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = L"0123456789ABCDEF"[hash & 0xF];
  std::wstring name = L"Local\\PlayerSuite.";
  name.append(purpose);
  name += L'.';
  name += digits;
  return name;
}

// The folder part of a file path ("C:\a\b.txt" gives "C:\a"); empty without one.
inline std::wstring FolderOfFile(const wchar_t* pszPath) {
  std::wstring_view path = pszPath != nullptr ? pszPath : L"";
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, cut));
}

// The security of the folder's objects: full access for the current user
// and the system, and a Low mandatory label, so that a lower-integrity
// process of the user can open them too. Where the platform cannot build it
// (or the label alone), the objects get what it can build, or the default.
class FolderObjectSecurity {
 public:
  // Allocates.
  FolderObjectSecurity() {
    const std::wstring user = CurrentUserSidText();
    if (user.empty()) return;
    const std::wstring access = L"D:(A;;GA;;;" + user + L")(A;;GA;;;SY)";
    for (const std::wstring& text : {access + L"S:(ML;;NW;;;LW)", access}) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      if (ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                               &descriptor, nullptr)) {
        m_descriptor.reset(descriptor);
        break;
      }
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor.get();
    m_attributes.bInheritHandle = FALSE;
  }
  FolderObjectSecurity(const FolderObjectSecurity&) = delete;
  FolderObjectSecurity& operator=(const FolderObjectSecurity&) = delete;

  // Null for the default security.
  SECURITY_ATTRIBUTES* attributes() noexcept { return m_descriptor ? &m_attributes : nullptr; }

 private:
  using UniqueLocalMemory = UniqueResource<ClosedBy<HLOCAL, &LocalFree>>;

  // The process's user as "S-1-5-...", empty when it cannot be had.
  static std::wstring CurrentUserSidText() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD nBytes = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &nBytes)) return {};
    LPWSTR pszSid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &pszSid)) {
      return {};
    }
    const UniqueLocalMemory owned = UniqueLocalMemory::Adopt(pszSid);
    return pszSid;
  }

  UniqueLocalMemory m_descriptor;
  SECURITY_ATTRIBUTES m_attributes = {};
};

// Creates or opens the mutex named `name` (FolderMutexName); empty on
// failure: access denied, or an object of another type under the name.
// With `pbCreatedOwned`, a mutex that no process had open is created owned by
// the caller, and *pbCreatedOwned tells so: the caller is then the first to
// reach the folder's files since their last user ended, however it ended. A
// named mutex goes with its last handle, so an owner that died alone leaves
// no abandoned mutex behind, only a new one. Neither allocates nor throws.
inline UniqueKernelHandle CreateFolderMutex(const std::wstring& name,
                                            FolderObjectSecurity& security,
                                            bool* pbCreatedOwned = nullptr) noexcept {
  if (pbCreatedOwned != nullptr) *pbCreatedOwned = false;
  UniqueKernelHandle mutex = UniqueKernelHandle::Adopt(
      CreateMutexW(security.attributes(), pbCreatedOwned != nullptr, name.c_str()));
  if (pbCreatedOwned != nullptr) {
    *pbCreatedOwned = mutex.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
  }
  return mutex;
}

// Creates or opens the section named `name` of `nBytes`, created
// zero-filled; empty on failure, as CreateFolderMutex. Neither allocates nor
// throws.
inline UniqueKernelHandle CreateFolderSection(const std::wstring& name, DWORD nBytes,
                                              FolderObjectSecurity& security) noexcept {
  return UniqueKernelHandle::Adopt(CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(),
                                                      PAGE_READWRITE, 0, nBytes, name.c_str()));
}

// The mutex of `purpose` for the folder, as CreateFolderMutex.
inline UniqueKernelHandle OpenFolderMutex(std::wstring_view purpose, const wchar_t* pszFolder,
                                          bool* pbCreatedOwned = nullptr) {
  if (pbCreatedOwned != nullptr) *pbCreatedOwned = false;
  if (pszFolder == nullptr || *pszFolder == L'\0') return {};
  const std::wstring name = FolderMutexName(purpose, pszFolder);
  FolderObjectSecurity security;
  return CreateFolderMutex(name, security, pbCreatedOwned);
}

// The calling thread's ownership of a mutex, released when the hold goes out
// of scope. It does not own the mutex's handle, which must outlive it, and it
// stays on the thread that took the mutex: only the owning thread can release.
class MutexHold {
 public:
  MutexHold() noexcept = default;
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;
  MutexHold(MutexHold&& other) noexcept : m_mutex(std::exchange(other.m_mutex, nullptr)) {}
  MutexHold& operator=(MutexHold&& other) noexcept {
    if (this != &other) {
      Release();
      m_mutex = std::exchange(other.m_mutex, nullptr);
    }
    return *this;
  }
  ~MutexHold() { Release(); }

  // Takes charge of an ownership the calling thread already has: a wait that
  // succeeded, or a mutex it created owned.
  [[nodiscard]] static MutexHold Adopt(HANDLE mutex) noexcept {
    MutexHold hold;
    hold.m_mutex = mutex;
    return hold;
  }

  bool valid() const noexcept { return m_mutex != nullptr; }
  explicit operator bool() const noexcept { return valid(); }

 private:
  // Keeps the thread's last error, as the handle owners do.
  void Release() noexcept {
    if (HANDLE mutex = std::exchange(m_mutex, nullptr)) {
      const DWORD error = GetLastError();
      ReleaseMutex(mutex);
      SetLastError(error);
    }
  }

  HANDLE m_mutex = nullptr;
};

enum class MutexWait {
  Owned,
  Abandoned,  // owned now; the previous owner ended without releasing it
  TimedOut,
};

// Waits at most `milliseconds` for `mutex`; on success `hold` owns it.
inline MutexWait WaitForMutex(HANDLE mutex, DWORD milliseconds, MutexHold& hold) noexcept {
  if (mutex == nullptr) return MutexWait::TimedOut;
  switch (WaitForSingleObject(mutex, milliseconds)) {
    case WAIT_OBJECT_0:
      hold = MutexHold::Adopt(mutex);
      return MutexWait::Owned;
    case WAIT_ABANDONED:
      hold = MutexHold::Adopt(mutex);
      return MutexWait::Abandoned;
    default:
      return MutexWait::TimedOut;
  }
}

}  // namespace suite
