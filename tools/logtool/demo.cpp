// The road of an error: three calls are logged, the day's log rolls over into
// the pending log, a sender object reports it as XML and marks it sent.
#include <windows.h>

#include <cstdio>
#include <string>

#include "LogError.h"
#include "commands.h"
#include "proc_address.h"
#include "unique_resource.h"

namespace {

using LogFunction = void(WINAPI*)(HMODULE, LONG, LPCWSTR, LPCWSTR);
using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

std::wstring DataFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetEnvironmentVariableW(L"CRT_DATA_DIR", folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + name;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

UniqueModule LoadLogLibrary() {
  UniqueModule library;
  library.reset(LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str()));
  return library;
}

void Step(const wchar_t* text) { wprintf(L"\n== %ls\n", text); }

// A sender object straight from the library's class factory: the demo needs
// no registration.
ComPtr<IKRLogSender> CreateSender(HMODULE library) {
  ComPtr<IKRLogSender> sender;
  auto getClassObject = ProcAs<GetClassObjectFunction>(library, "DllGetClassObject");
  if (getClassObject == nullptr) return sender;
  ComPtr<IClassFactory> factory;
  if (FAILED(getClassObject(CLSID_LogSender, IID_IClassFactory, factory.put_void()))) {
    return sender;
  }
  factory->CreateInstance(nullptr, IID_IKRLogSender, sender.put_void());
  return sender;
}

}  // namespace

int DemoCommand() {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"CRT_DATA_DIR", folder, MAX_PATH) == 0) {
    wprintf(L"Set CRT_DATA_DIR to the demo's data folder first.\n");
    return 2;
  }
  wprintf(L"Data folder: %ls\n", folder);

  Step(L"1. A program logs an error, a warning and an exception");
  {
    UniqueModule library = LoadLogLibrary();
    if (!library) {
      wprintf(L"LogError.dll cannot be loaded\n");
      return 1;
    }
    auto logError = ProcAs<LogFunction>(library.get(), "LogError");
    auto logWarning = ProcAs<LogFunction>(library.get(), "LogWarning");
    auto logException = ProcAs<LogFunction>(library.get(), "LogException");
    logError(nullptr, 0, L"Cannot open file", L"D:\\media\\a.avi");
    logError(nullptr, 0, L"Cannot open file", L"D:\\media\\a.avi");
    logWarning(library.get(), 7, L"Slow decoder", nullptr);
    logException(nullptr, 0, L"Access violation", L"");
  }
  DumpCommand(DataFile(L"error.Profile"));

  Step(L"2. The next day the first load rolls the day's log into the pending log");
  // Pretend the last roll-over was long ago.
  WritePrivateProfileStringW(L"General", L"LogErrorDate", L"2011.07.26",
                             DataFile(L"settings.ini").c_str());
  UniqueModule library = LoadLogLibrary();
  wprintf(L"error.Profile %ls\n",
          GetFileAttributesW(DataFile(L"error.Profile").c_str()) == INVALID_FILE_ATTRIBUTES
              ? L"is gone"
              : L"is still there");
  DumpCommand(DataFile(L"error.bf"));

  Step(L"3. A sending client asks for the report");
  HRESULT initialized = CoInitialize(nullptr);
  int result = 0;
  {
    ComPtr<IKRLogSender> sender = CreateSender(library.get());
    if (!sender) {
      wprintf(L"No sender object is available.\n");
      result = 1;
    } else {
      UniqueBstr report;
      HRESULT permission = sender->GetReport(report.put(), 1);
      wprintf(L"GetReport: %ld\n%ls", static_cast<long>(permission),
              report ? report.get() : L"(no report)\n");
      HRESULT saved = sender->SaveReport(nullptr);
      wprintf(L"SaveReport into the data folder: %ls\n", saved == S_OK ? L"S_OK" : L"E_FAIL");

      Step(L"4. The client uploaded it and marks it sent");
      sender->MarkReportSent();
      wprintf(L"error.bf %ls\n",
              GetFileAttributesW(DataFile(L"error.bf").c_str()) == INVALID_FILE_ATTRIBUTES
                  ? L"is gone"
                  : L"is still there");
      ComPtr<IKRLogSender> later = CreateSender(library.get());
      if (later) {
        wprintf(L"A new sender's GetReport today: %ld (sending is not permitted again today)\n",
                static_cast<long>(later->GetReport(nullptr, 0)));
      }
    }
  }
  if (SUCCEEDED(initialized)) CoUninitialize();
  return result;
}
