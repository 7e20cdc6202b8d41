// A record as found at the end of its road, in a report or in a log file,
// reduced to what the stress checks compare.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace stress {

struct FoundRecord {
  std::uint32_t nKind = 0;  // 1 Error, 2 Warning, 3 Exception; 0 for anything else
  std::wstring errorCode;   // as text, the way a report carries it
  std::wstring message;
  std::optional<std::wstring> value;
  long nCount = 1;         // records folded into it
  std::uint64_t nEnd = 0;  // in a file: the offset where it ends
};

}  // namespace stress
