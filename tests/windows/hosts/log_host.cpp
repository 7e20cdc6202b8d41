// A host program for the tests, built as "a.exe". Without arguments it logs
// one error "abc" with no module handle; with "N prefix" it logs N errors
// whose messages are the prefix followed by the record's number; with
// "N prefix T", T threads do so at once, each adding "t<thread>-" to the
// prefix.
#include <windows.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "LogError.h"
#include "Win/proc_address.h"

using namespace suite;

int wmain(int argc, wchar_t** argv) {
  HMODULE library = LoadLibraryW(L"LogError.dll");
  if (library == nullptr) return 2;
  auto logError = ProcAs<PFN_LogError>(library, "LogError");
  if (logError == nullptr) return 3;
  if (argc < 3) {
    logError(nullptr, 0, L"abc", nullptr);
  } else {
    const int count = _wtoi(argv[1]);
    const auto logAll = [&](const std::wstring& prefix) {
      for (int i = 0; i < count; ++i) {
        std::wstring message = prefix + std::to_wstring(i);
        logError(nullptr, i + 1, message.c_str(), L"value");
      }
    };
    if (argc < 4) {
      logAll(argv[2]);
    } else {
      std::vector<std::thread> threads;
      for (int t = 0; t < _wtoi(argv[3]); ++t) {
        threads.emplace_back(logAll, std::wstring(argv[2]) + L"t" + std::to_wstring(t) + L"-");
      }
      for (std::thread& thread : threads) thread.join();
    }
  }
  FreeLibrary(library);
  return 0;
}
