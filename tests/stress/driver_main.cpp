// The stress driver: the evidence that the log loses nothing, run end to end
// through the shipped binaries under load and under kills.
//
//   stress_driver stress [--processes=4] [--threads=4] [--records=600]
//                        [--pace-ms=0] [--rollover-ms=150] [--send-ms=100]
//   stress_driver kill   [--kills=90] [--threads=2] [--pace-ms=20]
//                        [--burst-ms=40] [--fresh-records=200] [--seed=N]
//   stress_driver storm  [--writers=2] [--threads=1] [--megabytes=60]
//                        [--pending-mb=5] [--sample-ms=1]
//
// The defaults are what CTest runs. In the kill run, a third of the kills
// each falls on writers, on roll-over loads and on sending clients, three
// lanes at once; --pace-ms paces the writer that logs throughout, --burst-ms
// bounds how long a writer started only to be killed logs first. In the
// storm run, --megabytes of records of 400-600 kB go into one day from
// --writers processes onto a pending log of --pending-mb; the day's log's
// size is sampled every --sample-ms while they log.
//
// Exit code 0 when nothing was lost, torn, doubled or altered, and the log's
// accounts cover every record it did not keep; the figures go to the
// standard output.
#include <windows.h>
#include <objbase.h>

#include "driver_options.h"
#include "kill_run.h"
#include "run_context.h"
#include "storm_run.h"
#include "stress_run.h"

using namespace suite;

namespace {

using RunOfMode = int (*)(stress::DriverOptions&);

RunOfMode RunOf(const std::wstring& mode) {
  if (mode == L"stress") return stress::RunStress;
  if (mode == L"kill") return stress::RunKill;
  if (mode == L"storm") return stress::RunStorm;
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  stress::DriverOptions options;
  const RunOfMode run = options.Parse(argc, argv) ? RunOf(options.mode()) : nullptr;
  if (run == nullptr) {
    stress::PrintLine(L"usage: stress_driver stress|kill|storm [--name=value ...]");
    return 2;
  }
  // The reports are read back through the XML DOM.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  const int code = run(options);
  if (const std::wstring unused = options.Unused(); !unused.empty()) {
    stress::PrintLine(L"unknown options: " + unused);
  }
  CoUninitialize();
  return code;
}
