// A process of its own for the tests in which a process must die or hold on.
// All but "abandon" go through LogErrorFaults.dll, the library built with the
// fault seam, which arms itself at load from the environment
// (file_io_seam.h); the exit code is the number of file calls counted, or
// kFileFaultCrashExitCode when the armed call ended the process.
//
//   fault_host append           logs one error, "fault-host"
//   fault_host rollover         loads the library (the roll-over runs in the load)
//   fault_host written          the same, but the exit code is the number of
//                               bytes the file calls wrote
//   fault_host remove           delivers a report and marks it sent; when the
//                               data folder holds "merged.bin", its bytes are
//                               added to error.bf in between, as a merge would
//   fault_host abandon PURPOSE  owns the data folder's mutex of PURPOSE and ends
//                               without letting it go
#include <windows.h>
#include <objbase.h>

#include <string>

#include "LogError.h"
#include "Win/folder_mutex.h"
#include "Win/proc_address.h"
#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "storage/file_io_seam.h"

using namespace suite;

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

std::wstring DataFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetEnvironmentVariableW(L"CRT_DATA_DIR", folder, MAX_PATH);
  return folder;
}

bool AppendFile(const std::wstring& from, const std::wstring& to) {
  UniqueFileHandle source = UniqueFileHandle::Adopt(
      CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!source) return GetLastError() == ERROR_FILE_NOT_FOUND;
  UniqueFileHandle target = UniqueFileHandle::Adopt(CreateFileW(
      to.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[65536];
  DWORD read = 0;
  DWORD written = 0;
  return target && ReadFile(source.get(), buffer, sizeof(buffer), &read, nullptr) &&
         WriteFile(target.get(), buffer, read, &written, nullptr) && written == read;
}

int DeliverAndMarkSent(HMODULE library) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1201;
  auto getClassObject = ProcAs<GetClassObjectFunction>(library, "DllGetClassObject");
  ComPtr<IClassFactory> factory;
  ComPtr<IKRLogSender> sender;
  if (getClassObject == nullptr ||
      FAILED(getClassObject(CLSID_LogSender, IID_IClassFactory, factory.put_void())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IKRLogSender, sender.put_void()))) {
    return 1202;
  }
  UniqueBstr report;
  if (sender->GetReport(report.put(), 1) != 1) return 1203;
  if (!AppendFile(DataFolder() + L"\\merged.bin", DataFolder() + L"\\error.bf")) return 1204;
  sender->MarkReportSent();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 1000;
  const std::wstring scenario = argv[1];
  if (scenario == L"abandon") {
    if (argc < 3) return 1000;
    UniqueKernelHandle mutex = OpenFolderMutex(argv[2], DataFolder().c_str());
    if (!mutex || WaitForSingleObject(mutex.get(), 5000) != WAIT_OBJECT_0) return 1001;
    ExitProcess(0);  // still owning it
  }

  HMODULE library = LoadLibraryW((ProgramFolder() + L"\\LogErrorFaults.dll").c_str());
  if (library == nullptr) return 1002;
  auto seam = ProcAs<FileFaultSeamFunction>(library, kFileFaultSeamExport);
  if (seam == nullptr) return 1003;
  if (scenario == L"append") {
    ProcAs<PFN_LogError>(library, "LogError")(nullptr, 0, L"fault-host", nullptr);
  } else if (scenario == L"remove") {
    if (int failed = DeliverAndMarkSent(library); failed != 0) return failed;
  } else if (scenario == L"written") {
    auto written = ProcAs<FileFaultBytesFunction>(library, kFileFaultBytesExport);
    return written == nullptr ? 1004 : static_cast<int>(written());
  } else if (scenario != L"rollover") {
    return 1000;
  }
  return seam(0, kFileFaultNone);
}
