// A host program for the tests, built as "a.exe". Without arguments it logs
// one error "abc" with no module handle; with "N prefix" it logs N errors
// whose messages are the prefix followed by the record's number.
#include <windows.h>

#include <cwchar>
#include <string>

#include "proc_address.h"

using LogFunction = void(WINAPI*)(HMODULE, LONG, LPCWSTR, LPCWSTR);

int wmain(int argc, wchar_t** argv) {
  HMODULE library = LoadLibraryW(L"LogError.dll");
  if (library == nullptr) return 2;
  auto logError = ProcAs<LogFunction>(library, "LogError");
  if (logError == nullptr) return 3;
  if (argc < 3) {
    logError(nullptr, 0, L"abc", nullptr);
  } else {
    int count = _wtoi(argv[1]);
    for (int i = 0; i < count; ++i) {
      std::wstring message = std::wstring(argv[2]) + std::to_wstring(i);
      logError(nullptr, i + 1, message.c_str(), L"value");
    }
  }
  FreeLibrary(library);
  return 0;
}
