#include "registry_writes.h"

#include "Win/unique_reg_key.h"

namespace suite {

namespace {

const wchar_t* ValueName(const std::wstring& name) { return name.empty() ? nullptr : name.c_str(); }

std::wstring Parent(const std::wstring& key) {
  const size_t slash = key.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

bool KeyExists(HKEY root, REGSAM view, const std::wstring& key) {
  UniqueRegKey opened;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

}  // namespace

std::optional<std::wstring> ReadRegistryText(HKEY root, REGSAM view, const std::wstring& key,
                                             const std::wstring& name) {
  UniqueRegKey opened;
  DWORD bytes = 0;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put()) != ERROR_SUCCESS ||
      RegGetValueW(opened.get(), nullptr, ValueName(name), RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(opened.get(), nullptr, ValueName(name), RRF_RT_REG_SZ, nullptr, text.data(),
                   &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

std::optional<RegistryValue> ReadRegistryValue(HKEY root, REGSAM view, const std::wstring& key,
                                               const std::wstring& name, LSTATUS& status) {
  UniqueRegKey opened;
  status = RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put());
  RegistryValue value{REG_NONE, {}};
  DWORD bytes = 0;
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(opened.get(), ValueName(name), nullptr, &value.type, nullptr, &bytes);
  }
  // Not RegGetValueW: it would add a terminator that the stored text lacks.
  // The size is asked again whenever the value grew in between.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    value.bytes.resize(bytes);
    status = RegQueryValueExW(opened.get(), ValueName(name), nullptr, &value.type,
                              value.bytes.empty() ? nullptr : value.bytes.data(), &bytes);
    if (status == ERROR_SUCCESS && bytes <= value.bytes.size()) {
      value.bytes.resize(bytes);
      return value;
    }
  }
  if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  return std::nullopt;
}

LSTATUS DeleteRegistryTree(HKEY root, REGSAM view, const std::wstring& key) {
  UniqueRegKey opened;
  LSTATUS status = RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS | view, opened.put());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  // The handle already lies in the view, so its subtree does too.
  status = RegDeleteTreeW(opened.get(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  opened.reset();
  return RegDeleteKeyExW(root, key.c_str(), view, 0);
}

LSTATUS RegistryWrites::Apply(const std::vector<RegistryWrite>& writes) {
  for (const RegistryWrite& write : writes) {
    const LSTATUS status = ApplyOne(write);
    if (status != ERROR_SUCCESS) {
      Rollback();
      return status;
    }
  }
  m_done.clear();
  return ERROR_SUCCESS;
}

LSTATUS RegistryWrites::ApplyOne(const RegistryWrite& write) {
  const REGSAM view = write.view;
  LSTATUS status = ERROR_SUCCESS;
  Undo undo{view,
            write.key,
            write.name,
            ReadRegistryValue(m_root, view, write.key, write.name, status),
            {}};
  // A value that cannot be read could not be put back: leave it untouched.
  if (status != ERROR_SUCCESS) return status;
  // Remember which keys of the path this write brings into being.
  for (std::wstring key = write.key; !key.empty() && !KeyExists(m_root, view, key);
       key = Parent(key)) {
    undo.createdKeys.insert(undo.createdKeys.begin(), key);
  }
  UniqueRegKey key;
  status = RegCreateKeyExW(m_root, write.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                           key.put(), nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key.get(), ValueName(write.name), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(write.value.c_str()),
                            static_cast<DWORD>((write.value.size() + 1) * sizeof(wchar_t)));
  }
  // Recorded even on failure: the key may exist by now.
  m_done.push_back(std::move(undo));
  return status;
}

void RegistryWrites::Rollback() {
  for (auto undo = m_done.rbegin(); undo != m_done.rend(); ++undo) {
    UniqueRegKey key;
    if (RegOpenKeyExW(m_root, undo->key.c_str(), 0, KEY_SET_VALUE | undo->view, key.put()) ==
        ERROR_SUCCESS) {
      if (undo->oldValue) {
        // A text whose count leaves out a terminator that follows it in
        // memory gets that terminator added: a non-zero guard follows the
        // bytes, so they go back as they were.
        std::vector<std::uint8_t> bytes = undo->oldValue->bytes;
        const auto size = static_cast<DWORD>(bytes.size());
        bytes.insert(bytes.end(), {0xFF, 0xFF});
        RegSetValueExW(key.get(), ValueName(undo->name), 0, undo->oldValue->type, bytes.data(),
                       size);
      } else {
        RegDeleteValueW(key.get(), ValueName(undo->name));
      }
    }
    key.reset();
    for (auto created = undo->createdKeys.rbegin(); created != undo->createdKeys.rend();
         ++created) {
      RegDeleteKeyExW(m_root, created->c_str(), undo->view, 0);
    }
  }
  m_done.clear();
}

}  // namespace suite
