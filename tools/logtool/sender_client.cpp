#include "sender_client.h"

#include "crt_api.h"
#include "data_files.h"
#include "log_file_read.h"
#include "settings_file.h"
#include "tool_error.h"

namespace suite {

namespace {

// GetReport's results, plain values in the HRESULT position.
constexpr HRESULT kNotPermitted = -1;
constexpr HRESULT kDelivered = 1;

// A pending log of this size holds at most its file header.
constexpr ULONGLONG kLogFileHeaderBytes = 12;

// crt.dll's one settings store, settings.ini.
constexpr int kSettingsStore = 1;

// Which of the two settings holds sending back, read as the library reads
// them, and the command that lifts it.
std::wstring WhyNotPermitted() {
  const std::wstring file = SettingsFilePath();
  std::wstring why;
  if (GetConfigInt(L"LogControl", L"SendError", 1, kSettingsStore) == 0) {
    why = L"[LogControl] SendError is 0 in " + file +
          L" (`logtool config unset LogControl SendError` permits sending)";
  }
  if (IsDateMarkCurrent(L"SendErrorDate")) {
    if (!why.empty()) why += L"; and ";
    why += L"a report was sent today: [DateMarks] SendErrorDate is " +
           ReadSetting(file, L"DateMarks", L"SendErrorDate").value_or(L"today") +
           L" (the next is permitted tomorrow, or after `logtool config unset DateMarks "
           L"SendErrorDate`)";
  }
  return why.empty() ? L"the library refused (its settings changed meanwhile?)" : why;
}

// The day's records reach a report only after the roll-over, at the first
// load of the library on a later day; a first report is often empty for it.
std::wstring DayLogWaiting() {
  const std::wstring activeLog = DataFilePath(L"error.Profile");
  const std::optional<std::size_t> records = CountLogRecords(activeLog);
  if (!records || *records == 0) return {};
  return L"; " + std::to_wstring(*records) + (*records == 1 ? L" record" : L" records") + L" in " +
         activeLog + (*records == 1 ? L" waits" : L" wait") +
         L" for the next roll-over (the library's first load on a later day)";
}

}  // namespace

ComApartment::ComApartment() : m_initialized(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
  if (FAILED(m_initialized)) {
    Fail(ExitStatus::kLibrary, L"COM cannot start on this thread: " + HexCode(m_initialized));
  }
}

ComApartment::~ComApartment() {
  if (SUCCEEDED(m_initialized)) CoUninitialize();
}

ComPtr<IKRLogSender> CreateLogSender() {
  ComPtr<IKRLogSender> sender;
  const HRESULT hr = CoCreateInstance(CLSID_LogSender, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IKRLogSender, sender.put_void());
  if (hr == REGDB_E_CLASSNOTREG) {
    Fail(ExitStatus::kLibrary,
         L"the sender class is not registered for " +
             std::wstring(sizeof(void*) == 8 ? L"64" : L"32") +
             L"-bit programs: run `logtool register` (a 32-bit suite needs the 32-bit logtool)");
  }
  if (FAILED(hr) || !sender) {
    Fail(ExitStatus::kLibrary, L"the sender object cannot be created: " + HexCode(hr) +
                                   L" (is the registered LogError.dll there, and of this "
                                   L"tool's bitness?)");
  }
  return sender;
}

UniqueBstr FetchReport(IKRLogSender* sender) {
  UniqueBstr report;
  const HRESULT result = sender->GetReport(report.put(), 1);
  if (result == kNotPermitted) {
    Fail(ExitStatus::kNothing, L"sending is not permitted now: " + WhyNotPermitted());
  }
  if (result != kDelivered || !report || SysStringLen(report.get()) == 0) {
    FailForMissingReport(L"no report could be built from the pending log");
  }
  return report;
}

void FailForMissingReport(const std::wstring& failure) {
  const std::wstring pendingLog = DataFilePath(L"error.bf");
  const std::optional<FileFacts> facts = StatFile(pendingLog);
  if (!facts || facts->directory || facts->size <= kLogFileHeaderBytes) {
    Fail(ExitStatus::kNothing,
         L"nothing to report: no pending records in " + pendingLog + DayLogWaiting());
  }
  Fail(ExitStatus::kFile, failure + L" " + pendingLog + L" (see `logtool dump` of it)");
}

}  // namespace suite
