#include "kill_run.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <random>
#include <thread>
#include <vector>

#include "file_watch.h"
#include "forced_days.h"
#include "kill_moments.h"
#include "record_ledger.h"
#include "run_findings.h"

using namespace suite;

namespace stress {

namespace {

constexpr std::uint32_t kEndlessRecords = 1000000;
// A writer started after the kills logs its records in a second or two; one
// that waits for something a killed process left behind takes far longer.
constexpr DWORD kFreshWriterBoundMs = 30000;

// Each lane counts its own figures; only the terminations are shared.
struct KillFigures {
  int nAppend = 0;         // writers killed while logging
  int nAllWriters = 0;     // of those, kills of every writer at once
  int nRollOver = 0;       // loads killed inside the process entry
  int nRollOverFirst = 0;  // loads that finished before the kill came
  int nSendBeforeDelivery = 0;
  int nSendUnconfirmed = 0;  // killed after the report was kept, before MarkReportSent returned
  int nSendFinishedFirst = 0;
  std::atomic<int> nTerminations{0};  // TerminateProcess calls that cut a process short
};

class KillRun {
 public:
  KillRun(DriverOptions& options, RunContext& run)
      : m_run(run),
        m_watch(run),
        m_nKills(std::max(1, options.Get(L"kills", 90))),
        m_nThreads(std::clamp(options.Get(L"threads", 2), 1, kMaxThreads)),
        m_nPaceMs(std::max(0, options.Get(L"pace-ms", 20))),
        m_nBurstMs(std::max(1, options.Get(L"burst-ms", 40))),
        m_nFreshRecords(std::max(1, options.Get(L"fresh-records", 200))),
        m_nSeed(static_cast<std::uint32_t>(
            options.Get(L"seed", static_cast<int>(GetTickCount() % 1000000)))) {}

  int Run();

 private:
  Child StartWriter(int nPaceMs, std::uint32_t nRecords);
  void Terminate(Child& child) { m_figures.nTerminations += child.process.Kill() ? 1 : 0; }
  // The writer that logs throughout must still be logging when it is killed.
  bool TerminateBackground();
  // One lane each; the three run at once, each on its own random stream.
  bool KillDuringAppends(int nKill, std::mt19937& random);
  bool KillDuringRollOver(int nKill, std::mt19937& random);
  bool KillDuringSend(int nKill, std::mt19937& random);
  bool Calibrate();
  bool FreshWriterFinishes();

  RunContext& m_run;
  FileWatch m_watch;
  const int m_nKills;
  const int m_nThreads;
  const int m_nPaceMs;
  const int m_nBurstMs;
  const int m_nFreshRecords;
  const std::uint32_t m_nSeed;
  KillFigures m_figures;
  PhaseLength m_rollOver;
  PhaseLength m_send;
  PhaseLength m_mark;
  Child m_background;
  // Every writer's number and block, for the ledger. Only the append lane
  // starts writers while the lanes run.
  std::vector<std::pair<std::uint32_t, ChildBlockMapping>> m_writers;
  std::vector<KeptReport> m_reports;
  std::int64_t m_nFreshMicros = 0;
  std::int32_t m_nFreshLongestMs = 0;
};

Child KillRun::StartWriter(int nPaceMs, std::uint32_t nRecords) {
  const auto nProcess = static_cast<std::uint32_t>(m_writers.size());
  Child child = m_run.Start(L"stress_writer.exe",
                            std::to_wstring(nProcess) + L" " + std::to_wstring(m_nThreads) + L" " +
                                std::to_wstring(nRecords) + L" " + std::to_wstring(nPaceMs));
  if (child.block) {
    // A second view of the same block outlives the child's.
    m_writers.emplace_back(nProcess, ChildBlockMapping::Open(child.blockName));
  }
  return child;
}

bool KillRun::KillDuringAppends(int nKill, std::mt19937& random) {
  Child burst = StartWriter(0, kEndlessRecords);
  if (!burst.valid() || !AwaitPhase(burst, kBegun)) {
    PrintLine(L"FAULT: a writer did not start logging");
    Terminate(burst);
    return false;
  }
  PauseMicros(std::uniform_int_distribution<std::int64_t>(0, m_nBurstMs * 1000)(random));
  // Now and then every writer dies at once, so that the next one to load
  // finds nobody left who saw the last write.
  const bool bAll = random() % 4 == 0;
  const bool bBackgroundRan = !bAll || TerminateBackground();
  Terminate(burst);
  ++m_figures.nAppend;
  if (bAll) {
    ++m_figures.nAllWriters;
    m_background = StartWriter(m_nPaceMs, kEndlessRecords);
  }
  return m_watch.Look(L"append kill " + std::to_wstring(nKill) + L" (writer " +
                      std::to_wstring(m_writers.size() - (bAll ? 2 : 1)) + L")") &&
         bBackgroundRan;
}

bool KillRun::TerminateBackground() {
  if (m_background.process.Running()) {
    Terminate(m_background);
    return true;
  }
  PrintLine(L"FAULT: the writer that logs throughout " + EndText(m_background.process.Wait(0)) +
            L" before its kill");
  return false;
}

bool KillRun::KillDuringRollOver(int nKill, std::mt19937& random) {
  if (!MoveRollOverDateBack()) return false;
  Child loader = m_run.Start(L"stress_loader.exe", L"");
  if (!loader.valid() || !AwaitPhase(loader, kBegun)) {
    PrintLine(L"FAULT: a roll-over process did not start");
    Terminate(loader);
    return false;
  }
  PauseMicros(m_rollOver.Draw(random));
  Terminate(loader);
  if (loader.block->nPhase == kFinished) {
    ++m_figures.nRollOverFirst;
    m_rollOver.Learn(loader.block->nWorkMicros);
  } else {
    ++m_figures.nRollOver;
    m_rollOver.Stretch();
  }
  return m_watch.Look(L"roll-over kill " + std::to_wstring(nKill));
}

bool KillRun::KillDuringSend(int nKill, std::mt19937& random) {
  wchar_t name[32];
  swprintf(name, 32, L"kill-%05d.xml", nKill);
  const std::wstring path = m_run.ReportFile(name);
  Child sender = m_run.Start(L"stress_sender.exe", L"once \"" + path + L"\"");
  if (!sender.valid() || !AwaitPhase(sender, kBegun)) {
    PrintLine(L"FAULT: a sending client did not start");
    Terminate(sender);
    return false;
  }
  // Half the kills fall anywhere in the round, half inside MarkReportSent.
  const bool bInsideMark = random() % 2 == 0;
  if (!bInsideMark) {
    PauseMicros(m_send.Draw(random));
  } else if (AwaitPhase(sender, kDelivered)) {
    PauseMicros(m_mark.Draw(random));
  }
  Terminate(sender);
  const bool bKept = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  const bool bFinished = sender.block->nPhase == kFinished;
  if (bFinished) {
    ++m_figures.nSendFinishedFirst;
    m_send.Learn(sender.block->nWorkMicros);
    if (bKept) m_mark.Learn(sender.block->nMarkMicros);
  } else {
    ++(bKept ? m_figures.nSendUnconfirmed : m_figures.nSendBeforeDelivery);
    (bInsideMark ? m_mark : m_send).Stretch();
  }
  if (bKept) m_reports.push_back({path, !bFinished});
  return m_watch.Look(L"send kill " + std::to_wstring(nKill));
}

bool KillRun::FreshWriterFinishes() {
  Child fresh = StartWriter(0, static_cast<std::uint32_t>(m_nFreshRecords));
  const std::int64_t nStart = NowMicros();
  const DWORD code = fresh.process.Wait(kFreshWriterBoundMs);
  m_nFreshMicros = NowMicros() - nStart;
  for (int t = 0; fresh.block && t < m_nThreads; ++t) {
    m_nFreshLongestMs = std::max(m_nFreshLongestMs, fresh.block->threads[t].nMaxCallMs.load());
  }
  if (fresh.block && code == 0) return true;
  PrintLine(L"FAULT: a writer started after the kills " + EndText(code) + L" within " +
            std::to_wstring(kFreshWriterBoundMs) + L" ms; its longest call took " +
            std::to_wstring(m_nFreshLongestMs) + L" ms");
  Terminate(fresh);
  return false;
}

bool KillRun::Calibrate() {
  if (!MoveRollOverDateBack()) return false;
  Child loader = m_run.Start(L"stress_loader.exe", L"");
  const std::wstring path = m_run.ReportFile(L"calibration.xml");
  Child sender;
  if (loader.block && loader.process.Wait(kPhaseBoundMs) == 0) {
    m_rollOver.Learn(loader.block->nWorkMicros);
    sender = m_run.Start(L"stress_sender.exe", L"once \"" + path + L"\"");
  }
  if (!sender.block || sender.process.Wait(kPhaseBoundMs) != 0) {
    PrintLine(L"FAULT: the first roll-over or report failed");
    return false;
  }
  // A round that delivered nothing is shorter than the ones to come.
  if (sender.block->nResult == 1) {
    m_send.Learn(sender.block->nWorkMicros);
    m_mark.Learn(sender.block->nMarkMicros);
  }
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    m_reports.push_back({path, false});
  }
  return true;
}

int KillRun::Run() {
  m_background = StartWriter(m_nPaceMs, kEndlessRecords);
  // Records in the active log before the first roll-over, so that the first
  // round measured and the first ones killed have something to merge.
  const std::int64_t nDeadline = NowMicros() + std::int64_t{kPhaseBoundMs} * 1000;
  while (m_background.block && m_background.block->threads[0].nDone < 10 &&
         m_background.process.Running() && NowMicros() < nDeadline) {
    Sleep(10);
  }
  bool bPassed = Calibrate();
  // Appends, roll-overs and reports are killed at once, as they run at once
  // in the field: a merge may be cut short while a removal is.
  std::atomic<bool> bLanesPassed{true};
  const auto lane = [&](bool (KillRun::*kill)(int, std::mt19937&), std::uint32_t nLane) {
    std::mt19937 random(m_nSeed * 3 + nLane);
    for (int nKill = 0; nKill < (m_nKills + 2 - static_cast<int>(nLane)) / 3; ++nKill) {
      if (!(this->*kill)(nKill, random)) bLanesPassed = false;
    }
  };
  std::thread appends(lane, &KillRun::KillDuringAppends, 0);
  std::thread rollOvers(lane, &KillRun::KillDuringRollOver, 1);
  lane(&KillRun::KillDuringSend, 2);
  appends.join();
  rollOvers.join();
  bPassed = bLanesPassed && bPassed;
  bPassed = TerminateBackground() && bPassed;
  bPassed = m_watch.Look(L"the last kill") && bPassed;
  bPassed = FreshWriterFinishes() && bPassed;
  bPassed = m_watch.LookSettled() && bPassed;
  bPassed = FinalRollOverAndReport(m_run, m_reports) && bPassed;

  RecordLedger ledger;
  for (const auto& [nProcess, block] : m_writers) {
    if (block) ledger.ExpectWriter(nProcess, m_nThreads, *block.get());
  }
  bPassed = CollectFindings(m_run, m_reports, ledger) && bPassed;
  bPassed = PrintVerdict(ledger.Check(LossRule::AtMostAccounted)) && bPassed;
  const auto n = [](long long value) { return std::to_wstring(value); };
  PrintLine(L"kills: " + n(m_figures.nTerminations.load()) + L" processes cut short; " +
            n(m_figures.nAppend) + L" while logging (" + n(m_figures.nAllWriters) +
            L" with every writer at once), " + n(m_figures.nRollOver) +
            L" inside a roll-over load (" + n(m_figures.nRollOverFirst) +
            L" loads finished first), " + n(m_figures.nSendBeforeDelivery) +
            L" senders before the report was kept, " + n(m_figures.nSendUnconfirmed) +
            L" between keeping it and MarkReportSent's return (" + n(m_figures.nSendFinishedFirst) +
            L" finished first)");
  PrintLine(L"phase lengths the kill moments were drawn over: roll-over load " +
            n(m_rollOver.Millis()) + L" ms, report round " + n(m_send.Millis()) +
            L" ms, MarkReportSent " + n(m_mark.Millis()) + L" ms");
  PrintLine(L"files looked at after " + n(static_cast<long long>(m_watch.looks())) +
            L" kills: torn tails seen " + n(static_cast<long long>(m_watch.tornTails())) +
            L" (in error.bf: " + n(static_cast<long long>(m_watch.tornTailsInPending())) + L")");
  PrintLine(L"fresh writer after the kills: " + n(m_nThreads * m_nFreshRecords) + L" records in " +
            n(m_nFreshMicros / 1000) + L" ms, longest call " + n(m_nFreshLongestMs) + L" ms; " +
            n(static_cast<long long>(m_writers.size())) + L" writer processes in all");
  return bPassed ? 0 : 1;
}

}  // namespace

int RunKill(DriverOptions& options) {
  const std::int64_t nStart = NowMicros();
  RunContext run;
  if (!run.error().empty()) {
    PrintLine(L"FAULT: " + run.error());
    return 1;
  }
  KillRun kill(options, run);
  PrintLine(L"kill run: " + options.Used());
  const int code = kill.Run();
  PrintLine(L"time: " + std::to_wstring((NowMicros() - nStart) / 1000) + L" ms");
  PrintLine(code == 0 ? L"PASSED" : L"FAILED");
  if (code != 0) run.KeepOnExit();
  return code;
}

}  // namespace stress
