// A sending client as the suite's uploader is one: it takes the send mark
// away (a stress run sends many times a day), creates the sender object
// through the registry, asks for a report and, once the report is safely
// kept, marks it sent. Keeping the text in a file stands in for the upload.
//
//   stress_sender BLOCK once REPORT            one round; the text goes to REPORT
//   stress_sender BLOCK loop FOLDER EVENT MS   rounds every MS milliseconds until
//                                              the named event is set; texts go to
//                                              FOLDER\loop-NNNNNN.xml
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include "LogError.h"
#include "Win/unique_resource.h"
#include "child_block.h"
#include "forced_days.h"

using namespace suite;

namespace {

// Written aside and moved into place, so the driver finds a text whole or
// not at all: what it finds counts as uploaded.
bool KeepReport(const std::wstring& path, BSTR report) {
  const std::wstring part = path + L".part";
  {
    UniqueFileHandle file = UniqueFileHandle::Adopt(
        CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const DWORD nBytes = SysStringByteLen(report);
    DWORD nWritten = 0;
    if (!file || !WriteFile(file.get(), report, nBytes, &nWritten, nullptr) || nWritten != nBytes ||
        !FlushFileBuffers(file.get())) {
      return false;
    }
  }
  return MoveFileExW(part.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// One round; GetReport's result, or a negative code of the client's own.
HRESULT SendOnce(stress::ChildBlock& block, const std::wstring& reportPath) {
  if (!stress::ClearSendMark()) return -100;
  const std::int64_t nStart = stress::NowMicros();
  block.nPhase = stress::kBegun;
  ComPtr<IKRLogSender> sender;
  if (FAILED(CoCreateInstance(CLSID_LogSender, nullptr, CLSCTX_INPROC_SERVER, IID_IKRLogSender,
                              sender.put_void()))) {
    return -101;
  }
  UniqueBstr report;
  const HRESULT result = sender->GetReport(report.put(), 1);
  block.nResult = result;
  if (result == 1) {
    if (!KeepReport(reportPath, report.get())) return -102;
    const std::int64_t nDelivered = stress::NowMicros();
    block.nPhase = stress::kDelivered;
    sender->MarkReportSent();
    block.nMarkMicros = stress::NowMicros() - nDelivered;
  }
  block.nWorkMicros = stress::NowMicros() - nStart;
  block.nPhase = stress::kFinished;
  return result;
}

int Loop(stress::ChildBlock& block, const std::wstring& folder, const wchar_t* pszEvent,
         DWORD nPauseMs) {
  UniqueKernelHandle stop = UniqueKernelHandle::Adopt(OpenEventW(SYNCHRONIZE, FALSE, pszEvent));
  if (!stop) return 6;
  int nDelivered = 0;
  for (;;) {
    wchar_t name[32];
    swprintf(name, 32, L"\\loop-%06d.xml", nDelivered);
    const HRESULT result = SendOnce(block, folder + name);
    if (result < -1) return 7;
    if (result == 1) block.nReports = ++nDelivered;
    if (WaitForSingleObject(stop.get(), nPauseMs) == WAIT_OBJECT_0) return 0;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  stress::ChildBlockMapping block = stress::ChildBlockMapping::Open(argv[1]);
  if (!block || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  int code = 2;
  const std::wstring mode = argv[2];
  if (mode == L"once" && argc == 4) {
    code = SendOnce(*block.get(), argv[3]) >= -1 ? 0 : 4;
  } else if (mode == L"loop" && argc == 6) {
    code = Loop(*block.get(), argv[3], argv[4], static_cast<DWORD>(_wtoi(argv[5])));
  }
  CoUninitialize();
  return code;
}
