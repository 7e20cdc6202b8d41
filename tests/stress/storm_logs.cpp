#include "storm_logs.h"

#include <string>

#include "account_record.h"
#include "record_key.h"
#include "run_context.h"

using namespace suite;

namespace stress {

namespace {

bool Fault(const std::wstring& text) {
  PrintLine(L"FAULT: " + text);
  return false;
}

// Where a record lies differs between files; what it says may not.
bool SameRecord(const FoundRecord& a, const FoundRecord& b) {
  return a.nKind == b.nKind && a.errorCode == b.errorCode && a.message == b.message &&
         a.value == b.value;
}

bool Whole(const WalkedFile& file, const wchar_t* pszName) {
  bool bWhole = file.bExists;
  if (!file.bExists) Fault(std::wstring(pszName) + L" is missing");
  for (const LogSkippedSpan& span : file.spans) {
    bWhole = Fault(std::wstring(pszName) + L" has a " + DescribeSpan(span));
  }
  if (file.nBytes > static_cast<std::uint64_t>(kLogRolloverCap)) {
    bWhole = Fault(std::wstring(pszName) + L" holds " + std::to_wstring(file.nBytes) +
                   L" bytes, past the cap");
  }
  return bWhole;
}

}  // namespace

bool CheckDayLog(const WalkedFile& day, const ThreadCalls& calls, DayLogFigures& figures) {
  bool bPassed = Whole(day, L"error.Profile");
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t> seen;
  for (const FoundRecord& record : day.records) {
    if (const std::optional<FoundAccount> account = AccountOf(record)) {
      ++figures.nAccounts;
      figures.bCapAccount = figures.bCapAccount || account->cause == LogAccountCause::DayLogCap;
      if (!account->nNotKept) bPassed = Fault(L"an account of error.Profile says nothing");
      figures.nNotKept += account->nNotKept.value_or(0);
      continue;
    }
    ++figures.nRecords;
    figures.nLastRecordEnd = record.nEnd;
    const std::optional<RecordKey> key = ParseMessage(record.message);
    if (!key || !calls.contains({key->nProcess, key->nThread})) {
      bPassed = Fault(L"error.Profile holds \"" + record.message + L"\", which no writer logged");
      continue;
    }
    std::int32_t& nNext = seen[{key->nProcess, key->nThread}];
    if (static_cast<std::int32_t>(key->nIndex) != nNext) {
      bPassed = Fault(L"error.Profile holds " + MessageOf(*key) + L" where " +
                      MessageOf({key->nProcess, key->nThread, static_cast<std::uint32_t>(nNext)}) +
                      L" was due");
    }
    nNext = static_cast<std::int32_t>(key->nIndex) + 1;
    // Once the cap account is there, every later record is counted in it.
    if (figures.bCapAccount) bPassed = Fault(MessageOf(*key) + L" follows the cap account");
    if (record.nEnd > static_cast<std::uint64_t>(kLogRecordLimit)) {
      bPassed = Fault(MessageOf(*key) + L" ends at " + std::to_wstring(record.nEnd) +
                      L", inside the accounts' reserve");
    }
  }
  std::uint64_t nCalls = 0;
  for (const auto& [thread, nDone] : calls) nCalls += static_cast<std::uint64_t>(nDone);
  if (figures.nRecords + figures.nNotKept != nCalls) {
    bPassed = Fault(L"error.Profile holds " + std::to_wstring(figures.nRecords) +
                    L" records and accounts for " + std::to_wstring(figures.nNotKept) +
                    L" more, of " + std::to_wstring(nCalls) + L" calls");
  }
  return bPassed;
}

bool CheckMergedLog(const WalkedFile& pending, const WalkedFile& day, const WalkedFile& merged,
                    MergedLogFigures& figures) {
  if (!Whole(merged, L"error.bf")) return false;
  const std::vector<FoundRecord>& out = merged.records;
  std::size_t nAt = 0;
  for (const FoundRecord& record : pending.records) {
    if (nAt >= out.size() || !SameRecord(out[nAt], record)) {
      return Fault(L"error.bf lost the pending record " + record.message + L" or its place");
    }
    ++nAt;
  }
  figures.nPending = nAt;
  // The day's log follows in its own order; once one of its ordinary records
  // is missing, none after it may be there, and every account is.
  bool bCut = false;
  for (const FoundRecord& record : day.records) {
    const bool bAccount = AccountOf(record).has_value();
    const bool bHere = nAt < out.size() && SameRecord(out[nAt], record);
    if (!bAccount && (bCut || !bHere)) {
      bCut = true;
      ++figures.nDayLeftOut;
      continue;
    }
    if (!bHere) {
      return Fault(L"error.bf lost the day's account \"" + record.errorCode + L" " +
                   record.value.value_or(L"") + L"\" or its place");
    }
    ++nAt;
    ++(bAccount ? figures.nDayAccounts : figures.nDayKept);
  }
  bool bPassed = true;
  for (; nAt < out.size(); ++nAt) {
    const std::optional<FoundAccount> account = AccountOf(out[nAt]);
    if (!account || (account->cause != LogAccountCause::PendingFull &&
                     account->cause != LogAccountCause::TornRecord)) {
      return Fault(L"error.bf holds \"" + out[nAt].message + L"\" after the day's records");
    }
    ++figures.nMergeAccounts;
    if (account->cause == LogAccountCause::PendingFull) {
      figures.nLeftOutAccounted += account->nNotKept.value_or(0);
    } else {
      bPassed = Fault(L"the roll-over cut a torn record, which no writer of the storm left");
    }
  }
  if (figures.nLeftOutAccounted != figures.nDayLeftOut) {
    bPassed = Fault(L"the roll-over left out " + std::to_wstring(figures.nDayLeftOut) +
                    L" of the day's records, and its account says " +
                    std::to_wstring(figures.nLeftOutAccounted));
  }
  return bPassed;
}

}  // namespace stress
