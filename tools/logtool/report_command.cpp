// `logtool report`: what a sending client would receive, or the report files
// of SaveReport, through the registered sender object only.
#include <windows.h>

#include <new>

#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "data_files.h"
#include "report_files.h"
#include "sender_client.h"
#include "tool_error.h"

namespace suite {

namespace {

int PrintReport() {
  ComApartment apartment;
  ComPtr<IKRLogSender> sender = CreateLogSender();
  UniqueBstr report = FetchReport(sender.get());
  if (!WriteText(STD_OUTPUT_HANDLE, std::wstring_view(report.get(), SysStringLen(report.get())))) {
    Fail(ExitStatus::kFile, L"the report cannot be written to standard output");
  }
  return 0;
}

int SaveReportInto(const std::wstring& folderGiven) {
  const std::wstring folder = FullPath(folderGiven);
  const std::optional<FileFacts> facts = StatFile(folder);
  if (!facts || !facts->directory) Fail(ExitStatus::kFile, L"no folder " + folder);

  ComApartment apartment;
  ComPtr<IKRLogSender> sender = CreateLogSender();
  UniqueBstr folderText;
  folderText.reset(SysAllocStringLen(folder.data(), static_cast<UINT>(folder.size())));
  if (!folderText) throw std::bad_alloc();

  const ReportFolderSnapshot before = SnapshotReportFiles(folder);
  // File systems keep write times as coarse as 2 s; a file rewritten within
  // that tick still counts as written by this save.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER from;
  from.LowPart = now.dwLowDateTime;
  from.HighPart = now.dwHighDateTime;
  from.QuadPart -= 2 * 10'000'000ull;
  const FILETIME savedFrom = {from.LowPart, from.HighPart};
  const HRESULT saved = sender->SaveReport(folderText.get());
  const std::vector<std::wstring> written =
      WrittenReportFiles(folder, before, SnapshotReportFiles(folder), savedFrom);
  for (const std::wstring& path : written) WriteLine(STD_OUTPUT_HANDLE, path);
  if (FAILED(saved)) {
    FailForMissingReport(written.empty()
                             ? L"no report file could be written into " + folder + L" from"
                             : L"some report files could not be written into " + folder + L" from");
  }
  if (written.empty()) {
    Fail(ExitStatus::kFile, L"the report was saved, yet no report file appeared in " + folder);
  }
  return 0;
}

}  // namespace

int ReportCommand(std::span<const std::wstring> args) {
  static constexpr OptionSpec kOptions[] = {{L"--folder", true}};
  const CommandLine line(L"report", args, kOptions);
  line.ExpectPositionals(0, 0, L"");
  if (const std::optional<std::wstring> folder = line.Value(L"--folder")) {
    return SaveReportInto(*folder);
  }
  return PrintReport();
}

}  // namespace suite
