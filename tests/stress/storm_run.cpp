#include "storm_run.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "account_record.h"
#include "forced_days.h"
#include "record_key.h"
#include "record_ledger.h"
#include "report_text.h"
#include "run_findings.h"
#include "size_watch.h"
#include "storm_logs.h"

using namespace suite;

namespace stress {

namespace {

constexpr DWORD kWriterBoundMs = 120000;
// A long value is 400 to 600 kB: 500 kB on average.
constexpr std::int64_t kMeanRecordBytes = 2 * (kLongValueMinChars + kLongValueSpanChars / 2);

int RecordsFor(int nMegabytes, int nThreads) {
  const std::int64_t nRecords =
      (std::int64_t{nMegabytes} * 1000000 + kMeanRecordBytes - 1) / kMeanRecordBytes;
  return static_cast<int>(std::max<std::int64_t>(1, (nRecords + nThreads - 1) / nThreads));
}

struct StormWriter {
  std::uint32_t nProcess = 0;
  int nThreads = 0;
  Child child;
};

class StormRun {
 public:
  StormRun(DriverOptions& options, RunContext& run)
      : m_run(run),
        m_nWriters(std::max(1, options.Get(L"writers", 2))),
        m_nThreads(std::clamp(options.Get(L"threads", 1), 1, kMaxThreads)),
        m_nMegabytes(std::max(1, options.Get(L"megabytes", 60))),
        m_nPendingMegabytes(std::max(1, options.Get(L"pending-mb", 5))),
        m_nSampleMs(static_cast<DWORD>(std::max(0, options.Get(L"sample-ms", 1)))) {}

  bool Run();

 private:
  StormWriter& StartWriter(int nThreads, int nRecords);
  bool Finished(StormWriter& writer);
  // A pending log of real records: one writer logs them, a roll-over moves
  // its day's log into place.
  bool MakePendingLog();
  bool LogTheStorm();
  bool RollOverAndCheck();
  bool ReportAndCheck(RecordLedger& ledger);

  RunContext& m_run;
  const int m_nWriters;
  const int m_nThreads;
  const int m_nMegabytes;
  const int m_nPendingMegabytes;
  const DWORD m_nSampleMs;
  std::vector<StormWriter> m_writers;  // the pending log's writer first
  WalkedFile m_pending;
  WalkedFile m_day;
  DayLogFigures m_dayFigures;
  std::int64_t m_nLargestSeen = 0;
  std::int64_t m_nSamples = 0;
  std::int64_t m_nSamplesOver = 0;
  std::int64_t m_nStormMicros = 0;
  std::uint64_t m_nStormCalls = 0;
};

StormWriter& StormRun::StartWriter(int nThreads, int nRecords) {
  StormWriter& writer = m_writers.emplace_back();
  writer.nProcess = kLongValueWriters + static_cast<std::uint32_t>(m_writers.size() - 1);
  writer.nThreads = nThreads;
  writer.child = m_run.Start(L"stress_writer.exe", std::to_wstring(writer.nProcess) + L" " +
                                                       std::to_wstring(nThreads) + L" " +
                                                       std::to_wstring(nRecords) + L" 0");
  return writer;
}

bool StormRun::Finished(StormWriter& writer) {
  const DWORD code = writer.child.process.Wait(kWriterBoundMs);
  if (writer.child.block && code == 0) return true;
  PrintLine(L"FAULT: writer " + std::to_wstring(writer.nProcess) + L" " + EndText(code));
  writer.child.process.Kill();
  return false;
}

bool StormRun::MakePendingLog() {
  StormWriter& writer = StartWriter(1, RecordsFor(m_nPendingMegabytes, 1));
  if (!Finished(writer) || !FinalRollOver(m_run)) return false;
  m_pending = WalkLogFile(m_run.DataFile(L"error.bf"));
  const auto nLogged = static_cast<std::size_t>(writer.child.block->threads[0].nDone.load());
  PrintLine(L"pending log: " + std::to_wstring(m_pending.records.size()) + L" records, " +
            std::to_wstring(m_pending.nBytes) + L" bytes");
  if (!m_pending.bExists || !m_pending.spans.empty() || m_pending.records.size() != nLogged) {
    PrintLine(L"FAULT: the pending log does not hold the " + std::to_wstring(nLogged) +
              L" records logged for it, whole");
    return false;
  }
  return true;
}

bool StormRun::LogTheStorm() {
  const int nRecords = RecordsFor(m_nMegabytes, m_nWriters * m_nThreads);
  SizeWatch watch(m_run.DataFile(L"error.Profile"), kLogRolloverCap, m_nSampleMs);
  const std::int64_t nStart = NowMicros();
  for (int w = 0; w < m_nWriters; ++w) StartWriter(m_nThreads, nRecords);
  bool bPassed = true;
  for (std::size_t w = 1; w < m_writers.size(); ++w) bPassed = Finished(m_writers[w]) && bPassed;
  m_nStormMicros = NowMicros() - nStart;
  watch.Stop();
  m_nLargestSeen = watch.largest();
  m_nSamples = watch.samples();
  m_nSamplesOver = watch.overBound();
  if (m_nSamplesOver != 0) {
    PrintLine(L"FAULT: error.Profile was seen past the cap " + std::to_wstring(m_nSamplesOver) +
              L" times, at most " + std::to_wstring(m_nLargestSeen) + L" bytes");
    bPassed = false;
  }

  ThreadCalls calls;
  for (std::size_t w = 1; w < m_writers.size(); ++w) {
    for (int t = 0; m_writers[w].child.block && t < m_nThreads; ++t) {
      const std::int32_t nDone = m_writers[w].child.block->threads[t].nDone;
      calls[{m_writers[w].nProcess, static_cast<std::uint32_t>(t)}] = nDone;
      m_nStormCalls += static_cast<std::uint64_t>(nDone);
    }
  }
  m_day = WalkLogFile(m_run.DataFile(L"error.Profile"));
  bPassed = CheckDayLog(m_day, calls, m_dayFigures) && bPassed;
  PrintLine(L"day's log: " + std::to_wstring(m_day.nBytes) + L" bytes, " +
            std::to_wstring(m_dayFigures.nRecords) + L" records ending at " +
            std::to_wstring(m_dayFigures.nLastRecordEnd) + L", " +
            std::to_wstring(m_dayFigures.nAccounts) + L" accounts (cap account: " +
            (m_dayFigures.bCapAccount ? L"yes" : L"no") + L") saying " +
            std::to_wstring(m_dayFigures.nNotKept) + L" records were not kept");
  if (!m_dayFigures.bCapAccount) PrintLine(L"note: the day's log never reached its cap");
  return bPassed;
}

bool StormRun::RollOverAndCheck() {
  if (!FinalRollOver(m_run)) return false;
  const WalkedFile merged = WalkLogFile(m_run.DataFile(L"error.bf"));
  MergedLogFigures figures;
  const bool bPassed = CheckMergedLog(m_pending, m_day, merged, figures);
  PrintLine(L"error.bf after the roll-over: " + std::to_wstring(merged.nBytes) + L" bytes: " +
            std::to_wstring(figures.nPending) + L" pending records, then the day's first " +
            std::to_wstring(figures.nDayKept) + L" of " +
            std::to_wstring(figures.nDayKept + figures.nDayLeftOut) + L" records and its " +
            std::to_wstring(figures.nDayAccounts) + L" accounts, then " +
            std::to_wstring(figures.nMergeAccounts) + L" of the roll-over's, saying " +
            std::to_wstring(figures.nLeftOutAccounted) + L" records were left out");
  return bPassed;
}

bool StormRun::ReportAndCheck(RecordLedger& ledger) {
  std::vector<KeptReport> reports;
  if (!FinalReport(m_run, reports) || reports.empty()) {
    PrintLine(L"FAULT: the final send delivered no report");
    return false;
  }
  const std::optional<std::wstring> text = ReadReportFile(reports.front().path);
  const ParsedReport report = text ? ParseReport(*text) : ParsedReport{};
  bool bPassed = report.bWellFormed;
  if (!bPassed) PrintLine(L"FAULT: the final report is not well-formed XML");
  const std::size_t source = ledger.AddSource(L"the final report", false);
  std::uint64_t nAtCap = 0;
  std::uint64_t nPendingFull = 0;
  for (const FoundRecord& item : report.items) {
    ledger.Add(source, item);
    const std::optional<FoundAccount> account = AccountOf(item);
    if (!account || !account->nNotKept) continue;
    const std::uint64_t nNotKept = *account->nNotKept * std::max(item.nCount, 1L);
    if (account->cause == LogAccountCause::DayLogCap) nAtCap += nNotKept;
    if (account->cause == LogAccountCause::PendingFull) nPendingFull += nNotKept;
  }
  PrintLine(L"final report: " + std::to_wstring(text ? text->size() : 0) + L" characters, " +
            std::to_wstring(report.items.size()) + L" items; its accounts: " +
            std::to_wstring(nAtCap) + L" not kept at the day's cap (10901), " +
            std::to_wstring(nPendingFull) + L" left out of the pending log (10903)");
  if (m_dayFigures.bCapAccount && (nAtCap == 0 || nPendingFull == 0)) {
    PrintLine(L"FAULT: the final report does not show the day's accounts");
    bPassed = false;
  }
  return bPassed;
}

bool StormRun::Run() {
  if (!MakePendingLog()) return false;
  bool bPassed = LogTheStorm();
  bPassed = RollOverAndCheck() && bPassed;
  RecordLedger ledger;
  for (StormWriter& writer : m_writers) {
    if (!writer.child.block) continue;
    ledger.ExpectWriter(writer.nProcess, writer.nThreads, *writer.child.block.get());
  }
  bPassed = ReportAndCheck(ledger) && bPassed;
  bPassed = CollectFilesLeft(m_run, ledger) && bPassed;
  bPassed = PrintVerdict(ledger.Check(LossRule::Exact)) && bPassed;
  PrintLine(L"storm: " + std::to_wstring(m_nWriters) + L" writers x " +
            std::to_wstring(m_nThreads) + L" threads, " + std::to_wstring(m_nStormCalls) +
            L" records of 400-600 kB in " + std::to_wstring(m_nStormMicros / 1000) +
            L" ms; error.Profile at most " + std::to_wstring(m_nLargestSeen) + L" bytes in " +
            std::to_wstring(m_nSamples) + L" samples (cap " + std::to_wstring(kLogRolloverCap) +
            L")");
  return bPassed;
}

}  // namespace

int RunStorm(DriverOptions& options) {
  const std::int64_t nStart = NowMicros();
  RunContext run;
  if (!run.error().empty()) {
    PrintLine(L"FAULT: " + run.error());
    return 1;
  }
  StormRun storm(options, run);
  PrintLine(L"storm run: " + options.Used());
  const bool bPassed = storm.Run();
  PrintLine(L"time: " + std::to_wstring((NowMicros() - nStart) / 1000) + L" ms");
  PrintLine(bPassed ? L"PASSED" : L"FAILED");
  if (!bPassed) run.KeepOnExit();
  return bPassed ? 0 : 1;
}

}  // namespace stress
