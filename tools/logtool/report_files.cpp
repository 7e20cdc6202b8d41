#include "report_files.h"

#include <cwctype>

#include "tool_owners.h"

namespace suite {

namespace {

// "*.xml" also matches longer extensions through short names; keep ".xml" only.
bool EndsInXml(const std::wstring& name) {
  if (name.size() < 4) return false;
  std::wstring tail = name.substr(name.size() - 4);
  for (wchar_t& c : tail) c = static_cast<wchar_t>(std::towlower(c));
  return tail == L".xml";
}

}  // namespace

ReportFolderSnapshot SnapshotReportFiles(const std::wstring& folder) {
  ReportFolderSnapshot files;
  WIN32_FIND_DATAW found;
  UniqueFindHandle search;
  search.reset(FindFirstFileW((folder + L"\\LogError_*.xml").c_str(), &found));
  if (!search) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !EndsInXml(found.cFileName)) {
      continue;
    }
    files[found.cFileName] = {found.ftLastWriteTime,
                              (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow};
  } while (FindNextFileW(search.get(), &found));
  return files;
}

std::vector<std::wstring> WrittenReportFiles(const std::wstring& folder,
                                             const ReportFolderSnapshot& before,
                                             const ReportFolderSnapshot& after,
                                             const FILETIME& savedFrom) {
  std::vector<std::wstring> written;
  for (const auto& [name, stamp] : after) {
    auto old = before.find(name);
    const bool changed =
        old == before.end() || CompareFileTime(&old->second.lastWrite, &stamp.lastWrite) != 0 ||
        old->second.size != stamp.size || CompareFileTime(&stamp.lastWrite, &savedFrom) >= 0;
    if (changed) written.push_back(folder + L"\\" + name);
  }
  return written;
}

}  // namespace suite
