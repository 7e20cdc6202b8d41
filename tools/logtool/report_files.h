// The report files in a folder ("LogError_<product version>.xml"), so that
// `logtool report --folder` can name what one SaveReport wrote.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace suite {

struct ReportFileStamp {
  FILETIME lastWrite;
  ULONGLONG size;
};
using ReportFolderSnapshot = std::map<std::wstring, ReportFileStamp>;

// File name to stamp, for the folder's LogError_*.xml files.
ReportFolderSnapshot SnapshotReportFiles(const std::wstring& folder);

// Full paths of the files that are new in `after`, whose stamp changed, or
// that were written at or after `savedFrom` (a rewrite within one tick of
// the file system's clock keeps its stamp).
std::vector<std::wstring> WrittenReportFiles(const std::wstring& folder,
                                             const ReportFolderSnapshot& before,
                                             const ReportFolderSnapshot& after,
                                             const FILETIME& savedFrom);

}  // namespace suite
