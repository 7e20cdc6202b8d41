// The account of a stress run: which records the writers' returned calls
// promise, and where each record was found. Losses, duplicates and records
// that came back altered or were never logged all show up here; so do the
// log's own account records, whose counts must cover what was not found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "account_record.h"
#include "child_block.h"
#include "found_record.h"

namespace stress {

using namespace suite;

// How the records not found must compare with what the accounts say.
enum class LossRule {
  // No process was killed: every record not found is in exactly one account.
  Exact,
  // Kills: a killed call may have been counted without being promised, and
  // an account in a report never confirmed sent may be found again.
  AtMostAccounted,
};

// What the account records found say the log did not keep. Torn records cut
// stand apart: a torn record's call never returned, so it was never promised.
struct AccountTally {
  std::uint64_t nRecords = 0;  // account records found, each folded one counted
  std::uint64_t nAtCap = 0;
  std::uint64_t nByWriters = 0;
  std::uint64_t nPendingFull = 0;
  std::uint64_t nTorn = 0;

  std::uint64_t NotKept() const { return nAtCap + nByWriters + nPendingFull; }
};

struct LedgerVerdict {
  LossRule rule = LossRule::Exact;
  std::size_t nPromised = 0;           // records of calls that had returned
  std::size_t nFound = 0;              // distinct records of this run found anywhere
  std::size_t nLost = 0;               // promised and found nowhere: accounts must cover them
  std::size_t nLostAfterSlowCall = 0;  // of those, calls that waited the writers' whole bound
  std::size_t nInFlight = 0;    // found, from a call cut short by a kill: may or may not be there
  std::size_t nPhantom = 0;     // found, beyond the last call the writer had started
  std::size_t nDuplicates = 0;  // found again after a report that had removed it
  std::size_t nDuplicatesFromKilledSenders = 0;  // found again after a report never confirmed
  std::size_t nAltered = 0;                      // kind, code or value differ from what was logged
  std::size_t nForeign = 0;                      // texts no writer of this run logged
  AccountTally accounts;
  std::vector<std::wstring> problems;  // the first few faults, described

  bool AccountsAddUp() const {
    return rule == LossRule::Exact ? nLost == accounts.NotKept() : nLost <= accounts.NotKept();
  }
  bool Passed() const {
    return AccountsAddUp() && nPhantom == 0 && nDuplicates == 0 && nAltered == 0 && nForeign == 0;
  }
};

class RecordLedger {
 public:
  // A place where records were found. Add them in the order the records got
  // there: reports in delivery order, then the files left at the end.
  // `bUnconfirmed`: a report whose sender was killed before MarkReportSent
  // returned, so its records may rightly be found again later.
  std::size_t AddSource(std::wstring name, bool bUnconfirmed);
  void Add(std::size_t nSource, const FoundRecord& record);

  // Writer `nProcess` had `nThreads` threads; its block says how far each got.
  void ExpectWriter(std::uint32_t nProcess, int nThreads, const ChildBlock& block);

  LedgerVerdict Check(LossRule rule) const;

 private:
  struct Source {
    std::wstring name;
    bool bUnconfirmed;
  };
  struct Thread {
    std::int32_t nDone;
    std::vector<std::int32_t> slowIndices;
  };

  void AddAccount(std::size_t nSource, const FoundRecord& record, const FoundAccount& account);

  std::vector<Source> m_sources;
  // Packed record key to the sources it was found in, once per folded record.
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_found;
  std::unordered_map<std::uint64_t, Thread> m_threads;  // keyed by the key of index 0
  std::size_t m_nAltered = 0;
  std::size_t m_nForeign = 0;
  AccountTally m_accounts;
  std::vector<std::wstring> m_problems;
};

}  // namespace stress
