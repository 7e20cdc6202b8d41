#include "driver_options.h"

#include <cwchar>

namespace stress {

bool DriverOptions::Parse(int argc, wchar_t** argv) {
  if (argc < 2) return false;
  m_mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring argument = argv[i];
    const std::size_t equals = argument.find(L'=');
    if (!argument.starts_with(L"--") || equals == std::wstring::npos) return false;
    m_given[argument.substr(2, equals - 2)] = argument.substr(equals + 1);
  }
  return true;
}

int DriverOptions::Get(const wchar_t* name, int fallback) {
  const auto given = m_given.find(name);
  const int value = given == m_given.end() ? fallback : _wtoi(given->second.c_str());
  m_used[name] = value;
  return value;
}

std::wstring DriverOptions::Used() const {
  std::wstring text;
  for (const auto& [name, value] : m_used) {
    text += (text.empty() ? L"--" : L" --") + name + L"=" + std::to_wstring(value);
  }
  return text;
}

std::wstring DriverOptions::Unused() const {
  std::wstring text;
  for (const auto& [name, value] : m_given) {
    if (!m_used.contains(name)) text += (text.empty() ? L"--" : L" --") + name;
  }
  return text;
}

}  // namespace stress
