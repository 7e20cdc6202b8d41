// Reading back a report text as its receiver would: one or more Log_Error
// documents, each parsed by the XML DOM. Call from a thread in a COM apartment.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "found_record.h"

namespace stress {

struct ParsedReport {
  bool bWellFormed = false;  // every document parsed, and nothing stood outside them
  std::size_t nDocuments = 0;
  std::vector<FoundRecord> items;
  std::set<std::wstring> clientIds;  // the UUID attributes
};

ParsedReport ParseReport(const std::wstring& text);

// A report kept by the sending client: the UTF-16 text as GetReport gave it.
std::optional<std::wstring> ReadReportFile(const std::wstring& path);

}  // namespace stress
