#include "run_findings.h"

#include <set>

#include "forced_days.h"
#include "log_file_walk.h"
#include "report_text.h"

using namespace suite;

namespace stress {

namespace {

constexpr DWORD kChildBoundMs = 120000;

// The files that hold records between the roll-overs and the reports.
constexpr const wchar_t* kLogFiles[] = {L"error.Profile", L"error.bf", L"error.bf.tmp"};
// Files that only an unfinished merge or removal leaves; the last roll-over
// and report settle them.
constexpr const wchar_t* kSideFiles[] = {L"error.bf.merge", L"error.bf.merging", L"error.bf.rest"};

bool RunToEnd(Child child, const wchar_t* pszWhat) {
  const DWORD code = child.process.Wait(kChildBoundMs);
  if (child.block && code == 0) return true;
  PrintLine(std::wstring(L"FAULT: the final ") + pszWhat + L" " + EndText(code));
  child.process.Kill();
  return false;
}

}  // namespace

bool FinalRollOver(RunContext& run) {
  return MoveRollOverDateBack() && RunToEnd(run.Start(L"stress_loader.exe", L""), L"roll-over");
}

bool FinalReport(RunContext& run, std::vector<KeptReport>& reports) {
  const std::wstring path = run.ReportFile(L"final.xml");
  if (!RunToEnd(run.Start(L"stress_sender.exe", L"once \"" + path + L"\""), L"report")) {
    return false;
  }
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) reports.push_back({path, false});
  return true;
}

bool FinalRollOverAndReport(RunContext& run, std::vector<KeptReport>& reports) {
  return FinalRollOver(run) && FinalReport(run, reports);
}

bool CollectFindings(const RunContext& run, const std::vector<KeptReport>& reports,
                     RecordLedger& ledger) {
  bool bPassed = true;
  std::set<std::wstring> clientIds;
  std::size_t nItems = 0;
  std::size_t nUnconfirmed = 0;
  for (const KeptReport& kept : reports) {
    const std::wstring name = kept.path.substr(kept.path.find_last_of(L'\\') + 1);
    const std::optional<std::wstring> text = ReadReportFile(kept.path);
    const ParsedReport report = text ? ParseReport(*text) : ParsedReport{};
    if (!report.bWellFormed) {
      PrintLine(L"FAULT: report " + name + L" is not well-formed XML");
      bPassed = false;
    }
    clientIds.insert(report.clientIds.begin(), report.clientIds.end());
    const std::size_t source = ledger.AddSource(L"report " + name, kept.bUnconfirmed);
    for (const FoundRecord& item : report.items) ledger.Add(source, item);
    nItems += report.items.size();
    if (kept.bUnconfirmed) ++nUnconfirmed;
  }
  PrintLine(L"reports: " + std::to_wstring(reports.size()) + L" kept (" +
            std::to_wstring(nUnconfirmed) + L" never confirmed sent), " + std::to_wstring(nItems) +
            L" items, " + std::to_wstring(clientIds.size()) + L" client id(s)");
  if (clientIds.size() > 1) {
    PrintLine(L"FAULT: the reports name more than one client id");
    bPassed = false;
  }
  return CollectFilesLeft(run, ledger) && bPassed;
}

bool CollectFilesLeft(const RunContext& run, RecordLedger& ledger) {
  bool bPassed = true;
  std::wstring left;
  for (const wchar_t* pszName : kLogFiles) {
    const WalkedFile file = WalkLogFile(run.DataFile(pszName));
    if (!file.bExists) continue;
    const std::size_t source = ledger.AddSource(std::wstring(pszName) + L" (left)", false);
    for (const FoundRecord& record : file.records) ledger.Add(source, record);
    left +=
        std::wstring(L" ") + pszName + L" " + std::to_wstring(file.records.size()) + L" records;";
    for (const LogSkippedSpan& span : file.spans) {
      PrintLine(L"FAULT: " + std::wstring(pszName) + L" left with a " + DescribeSpan(span));
      bPassed = false;
    }
  }
  for (const wchar_t* pszName : kSideFiles) {
    if (GetFileAttributesW(run.DataFile(pszName).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    PrintLine(L"FAULT: " + std::wstring(pszName) + L" left after the last roll-over and report");
    bPassed = false;
  }
  PrintLine(L"files left:" + (left.empty() ? std::wstring(L" none;") : left) +
            L" drops counted and not yet in an account: " +
            std::to_wstring(run.accountSection().DropsDue()));
  return bPassed;
}

bool PrintVerdict(const LedgerVerdict& verdict) {
  const auto n = [](std::uint64_t value) { return std::to_wstring(value); };
  PrintLine(L"records: " + n(verdict.nPromised) + L" promised by returned calls, " +
            n(verdict.nFound) + L" found, " + n(verdict.nInFlight) +
            L" found from calls cut short");
  PrintLine(L"dropped: " + n(verdict.nLost) + L" (after a call that waited the writers' bound: " +
            n(verdict.nLostAfterSlowCall) + L")");
  PrintLine(L"duplicates: " + n(verdict.nDuplicates) + L" unexplained, " +
            n(verdict.nDuplicatesFromKilledSenders) +
            L" after reports whose sender was killed before MarkReportSent returned");
  PrintLine(L"altered: " + n(verdict.nAltered) + L", never logged: " +
            n(verdict.nPhantom + verdict.nForeign));
  const AccountTally& accounts = verdict.accounts;
  PrintLine(L"accounts: " + n(accounts.nRecords) + L" found; records not kept " +
            n(accounts.NotKept()) + L" (day's log at its cap " + n(accounts.nAtCap) +
            L", dropped by writers " + n(accounts.nByWriters) + L", pending log full " +
            n(accounts.nPendingFull) + L"), torn records cut " + n(accounts.nTorn));
  PrintLine(L"not found against accounted: " + n(verdict.nLost) +
            (verdict.rule == LossRule::Exact ? L" must equal " : L" must be at most ") +
            n(accounts.NotKept()) + (verdict.AccountsAddUp() ? L": holds" : L": FAILS"));
  for (const std::wstring& problem : verdict.problems) PrintLine(L"  " + problem);
  return verdict.Passed();
}

}  // namespace stress
