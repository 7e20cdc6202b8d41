// A set of registry value writes that lands whole or not at all: a failure
// part of the way puts back every value and key it had changed, so an earlier
// registration stays as it was.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace suite {

struct RegistryWrite {
  REGSAM view;        // KEY_WOW64_32KEY or KEY_WOW64_64KEY
  std::wstring key;   // below the root
  std::wstring name;  // empty: the key's default value
  std::wstring value;
};

// A value as it is stored: its type and its bytes, unexpanded.
struct RegistryValue {
  DWORD type;
  std::vector<std::uint8_t> bytes;
};

// The value as stored; nullopt with ERROR_SUCCESS in `status` when it (or its
// key) does not exist, nullopt with the error when it cannot be read.
std::optional<RegistryValue> ReadRegistryValue(HKEY root, REGSAM view, const std::wstring& key,
                                               const std::wstring& name, LSTATUS& status);

class RegistryWrites {
 public:
  explicit RegistryWrites(HKEY root) : m_root(root) {}
  RegistryWrites(const RegistryWrites&) = delete;
  RegistryWrites& operator=(const RegistryWrites&) = delete;

  // Applies the writes in order; on the first failure undoes what was done
  // and returns its error.
  LSTATUS Apply(const std::vector<RegistryWrite>& writes);

 private:
  struct Undo {
    REGSAM view;
    std::wstring key;
    std::wstring name;
    std::optional<RegistryValue> oldValue;  // absent: delete the value
    std::vector<std::wstring> createdKeys;  // deepest last
  };
  LSTATUS ApplyOne(const RegistryWrite& write);
  void Rollback();

  HKEY m_root;
  std::vector<Undo> m_done;
};

// The text of a REG_SZ value, if it exists.
std::optional<std::wstring> ReadRegistryText(HKEY root, REGSAM view, const std::wstring& key,
                                             const std::wstring& name);

// Deletes `key` with everything below it in `view` (RegDeleteTreeW alone
// ignores the view). ERROR_SUCCESS also when it was absent.
LSTATUS DeleteRegistryTree(HKEY root, REGSAM view, const std::wstring& key);

}  // namespace suite
