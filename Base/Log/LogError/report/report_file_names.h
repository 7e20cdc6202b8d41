// The file names of one saved report: one per product version, never two
// that the file system would take for one file.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "keyed_text_hash.h"

namespace suite {

// The upper case of one UTF-16 unit as CompareStringOrdinal takes it when it
// ignores case: texts it finds equal have equal units after this.
wchar_t FileNameUpperCase(wchar_t c);

class ReportFileNames {
 public:
  // The prefix, the version with what a file name cannot hold replaced, and
  // ".xml". Versions that differ only in such characters, or in case, would
  // share one file and the later document would overwrite the earlier one:
  // a name already given gets the first free of " (2)", " (3)" and so on.
  // File names compare without case.
  std::wstring Next(const wchar_t* pszPrefix, std::u16string_view version);

 private:
  bool Take(const std::wstring& name);

  // Both hold names with their case folded. Names only ever join the set,
  // so a repeat once found taken stays taken: each base name's search goes
  // on from where its last one stopped.
  std::unordered_set<std::wstring, KeyedTextHash> m_taken;
  std::unordered_map<std::wstring, int, KeyedTextHash> m_nextRepeat;
};

}  // namespace suite
