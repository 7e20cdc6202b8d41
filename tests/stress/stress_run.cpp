#include "stress_run.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <thread>
#include <vector>

#include "forced_days.h"
#include "record_ledger.h"
#include "run_findings.h"

using namespace suite;

namespace stress {

namespace {

constexpr DWORD kWritersBoundMs = 600000;

struct RollOverCount {
  std::atomic<int> nForced{0};  // loads after the date was moved back
  std::atomic<int> nDone{0};    // of those, after which the date was today's again
  std::atomic<bool> bFault{false};
};

// Forces roll-overs one after another until told to stop.
void ForceRollOvers(RunContext& run, DWORD nPauseMs, const std::atomic<bool>& stop,
                    RollOverCount& count) {
  while (!stop) {
    if (!MoveRollOverDateBack()) count.bFault = true;
    Child loader = run.Start(L"stress_loader.exe", L"");
    if (!loader.block || loader.process.Wait(60000) != 0) {
      PrintLine(L"FAULT: a roll-over process failed");
      count.bFault = true;
      loader.process.Kill();
    }
    ++count.nForced;
    if (RollOverDateIsToday()) ++count.nDone;
    for (DWORD nSlept = 0; nSlept < nPauseMs && !stop; nSlept += 10) Sleep(10);
  }
}

}  // namespace

int RunStress(DriverOptions& options) {
  const int nProcesses = std::max(1, options.Get(L"processes", 4));
  const int nThreads = std::clamp(options.Get(L"threads", 4), 1, kMaxThreads);
  const int nRecords = std::max(1, options.Get(L"records", 600));
  const int nPaceMs = std::max(0, options.Get(L"pace-ms", 0));
  const DWORD nRollOverMs = static_cast<DWORD>(std::max(0, options.Get(L"rollover-ms", 150)));
  const DWORD nSendMs = static_cast<DWORD>(std::max(0, options.Get(L"send-ms", 100)));
  PrintLine(L"stress run: " + options.Used());
  const std::int64_t nStart = NowMicros();

  RunContext run;
  if (!run.error().empty()) {
    PrintLine(L"FAULT: " + run.error());
    return 1;
  }
  bool bPassed = true;
  const std::wstring stopName =
      L"Local\\PlayerSuite.Stress.Stop." + std::to_wstring(GetCurrentProcessId());
  UniqueKernelHandle stopSending =
      UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
  Child sender = run.Start(L"stress_sender.exe", L"loop \"" + run.reportFolder() + L"\" " +
                                                     stopName + L" " + std::to_wstring(nSendMs));

  std::vector<Child> writers;
  for (int p = 0; p < nProcesses; ++p) {
    writers.push_back(run.Start(L"stress_writer.exe",
                                std::to_wstring(p) + L" " + std::to_wstring(nThreads) + L" " +
                                    std::to_wstring(nRecords) + L" " + std::to_wstring(nPaceMs)));
  }
  std::atomic<bool> stopRollOvers{false};
  RollOverCount rollOvers;
  std::thread roller([&] { ForceRollOvers(run, nRollOverMs, stopRollOvers, rollOvers); });

  for (Child& writer : writers) {
    const DWORD code = writer.process.Wait(kWritersBoundMs);
    if (!writer.block || code != 0) {
      PrintLine(L"FAULT: a writer " + EndText(code));
      writer.process.Kill();
      bPassed = false;
    }
  }
  stopRollOvers = true;
  roller.join();
  SetEvent(stopSending.get());
  const DWORD senderCode = sender.process.Wait(kWritersBoundMs);
  if (!sender.block || senderCode != 0) {
    PrintLine(L"FAULT: the sending client " + EndText(senderCode));
    sender.process.Kill();
    bPassed = false;
  }

  std::vector<KeptReport> reports;
  for (int i = 0; sender.block && i < sender.block->nReports; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"loop-%06d.xml", i);
    reports.push_back({run.ReportFile(name), false});
  }
  bPassed = FinalRollOverAndReport(run, reports) && bPassed;
  bPassed = !rollOvers.bFault && bPassed;

  RecordLedger ledger;
  std::int32_t nMaxCallMs = 0;
  std::int32_t nSlowCalls = 0;
  for (int p = 0; p < nProcesses; ++p) {
    if (!writers[p].block) continue;
    ledger.ExpectWriter(static_cast<std::uint32_t>(p), nThreads, *writers[p].block.get());
    for (int t = 0; t < nThreads; ++t) {
      nMaxCallMs = std::max(nMaxCallMs, writers[p].block->threads[t].nMaxCallMs.load());
      nSlowCalls += writers[p].block->threads[t].nSlowCalls;
    }
  }
  bPassed = CollectFindings(run, reports, ledger) && bPassed;
  const LedgerVerdict verdict = ledger.Check(LossRule::Exact);
  bPassed = PrintVerdict(verdict) && bPassed;
  PrintLine(L"figures: " + std::to_wstring(nProcesses) + L" processes x " +
            std::to_wstring(nThreads) + L" threads x " + std::to_wstring(nRecords) + L" records; " +
            std::to_wstring(rollOvers.nForced) + L" roll-overs forced (" +
            std::to_wstring(rollOvers.nDone) + L" seen done), " + std::to_wstring(reports.size()) +
            L" reports; longest call " + std::to_wstring(nMaxCallMs) + L" ms, " +
            std::to_wstring(nSlowCalls) + L" calls as long as the writers' wait bound; " +
            std::to_wstring((NowMicros() - nStart) / 1000) + L" ms in all");
  PrintLine(bPassed ? L"PASSED" : L"FAILED");
  if (!bPassed) run.KeepOnExit();
  return bPassed ? 0 : 1;
}

}  // namespace stress
