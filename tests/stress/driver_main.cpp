// The stress driver: the evidence that the log loses nothing, run end to end
// through the shipped binaries under load and under kills.
//
//   stress_driver stress [--processes=4] [--threads=4] [--records=600]
//                        [--pace-ms=0] [--rollover-ms=150] [--send-ms=100]
//   stress_driver kill   [--kills=90] [--threads=2] [--pace-ms=20]
//                        [--burst-ms=40] [--fresh-records=200] [--seed=N]
//
// The defaults are what CTest runs. In the kill run, a third of the kills
// each falls on writers, on roll-over loads and on sending clients, three
// lanes at once; --pace-ms paces the writer that logs throughout, --burst-ms
// bounds how long a writer started only to be killed logs first.
//
// Exit code 0 when nothing was lost, torn, doubled or altered; the figures go
// to the standard output.
#include <windows.h>
#include <objbase.h>

#include "driver_options.h"
#include "kill_run.h"
#include "run_context.h"
#include "stress_run.h"

int wmain(int argc, wchar_t** argv) {
  stress::DriverOptions options;
  if (!options.Parse(argc, argv) || (options.mode() != L"stress" && options.mode() != L"kill")) {
    stress::PrintLine(L"usage: stress_driver stress|kill [--name=value ...]");
    return 2;
  }
  // The reports are read back through the XML DOM.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  const int code =
      options.mode() == L"stress" ? stress::RunStress(options) : stress::RunKill(options);
  if (const std::wstring unused = options.Unused(); !unused.empty()) {
    stress::PrintLine(L"unknown options: " + unused);
  }
  CoUninitialize();
  return code;
}
