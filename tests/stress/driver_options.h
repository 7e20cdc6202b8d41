// The stress driver's command line: a mode, then sizes as --name=value.
#pragma once

#include <map>
#include <string>

namespace stress {

class DriverOptions {
 public:
  // False on anything that is not --name=value.
  bool Parse(int argc, wchar_t** argv);
  // The number given for `name`, else `fallback`; every one asked for is
  // printed with the figures, so a run can be repeated.
  int Get(const wchar_t* name, int fallback);
  const std::wstring& mode() const { return m_mode; }
  // "--processes=4 --threads=4 ..." of every value asked for.
  std::wstring Used() const;
  // Names given but never asked for: most likely misspelt.
  std::wstring Unused() const;

 private:
  std::wstring m_mode;
  std::map<std::wstring, std::wstring> m_given;
  std::map<std::wstring, int> m_used;
};

}  // namespace stress
