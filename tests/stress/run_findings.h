// The end of every stress run: a last roll-over and report to collect what is
// left, then every kept report and every log file still in the data folder
// checked into the ledger, and the verdict printed.
#pragma once

#include <string>
#include <vector>

#include "record_ledger.h"
#include "run_context.h"

namespace stress {

using namespace suite;

struct KeptReport {
  std::wstring path;
  bool bUnconfirmed = false;  // its sender was killed before MarkReportSent returned
};

// Moves the roll-over date back and loads the library in a fresh process.
// False when the child failed.
bool FinalRollOver(RunContext& run);
// Sends once; the report, if one was delivered, is added to `reports`. False
// when the child failed.
bool FinalReport(RunContext& run, std::vector<KeptReport>& reports);
// Both, one after the other.
bool FinalRollOverAndReport(RunContext& run, std::vector<KeptReport>& reports);

// Reads every report (in delivery order) and then the log files left into the
// ledger. False on a fault the ledger does not see: a report that does not
// parse, more than one client id, damage in a file left, a side file of an
// unfinished merge or removal still there. Prints what it found.
bool CollectFindings(const RunContext& run, const std::vector<KeptReport>& reports,
                     RecordLedger& ledger);
// Its second half: the log files left, and the side files that must not be.
bool CollectFilesLeft(const RunContext& run, RecordLedger& ledger);

// Prints the ledger's figures and problems; true when it passed.
bool PrintVerdict(const LedgerVerdict& verdict);

}  // namespace stress
