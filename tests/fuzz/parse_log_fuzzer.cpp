// Feeds arbitrary bytes to the log reader, as they are and behind a valid file
// header (so that mutations of the header do not keep the fuzzer away from the
// records). Checks, for every input:
// - every text in the folded tree is read in full, so ASan sees any view that
//   leaves the buffer, and the tree equals the plain search-from-the-front
//   fold's;
// - the walk ends, its steps tile the data in file order (records and skipped
//   spans inside the buffer, none overlapping, no gap), and End stays End;
// - every record passes the lenient checks, re-done here independently, and
//   its texts lie inside it; every record right after a skipped span (a
//   restart point) passes every strict check, and so does what follows it;
// - from the start of the data the walk agrees with the reader before
//   resynchronisation existed: records up to the first damage are the same,
//   except that the last one may be counted as part of that damage;
// - the roll-over's merge plan of the input as a day's log onto itself as a
//   pending log takes only bytes of the day's records, in order, and stays
//   within a cap taken from the input;
// - the input read as an append's journal either is none or encodes back to
//   the same bytes;
// - where the whole records end lies within the input, behind its file
//   header, and judging from the tail first finds the same place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "format/log_append_journal.h"
#include "format/log_format.h"
#include "format/log_merge_plan.h"
#include "format/log_whole_records.h"
#include "report/log_parse.h"
#include "support/linear_fold.h"

using namespace suite;

namespace {

void Require(bool bCondition) {
  if (!bCondition) std::abort();
}

const std::uint8_t* g_pBegin;
const std::uint8_t* g_pEnd;

// Borrowed texts must lie inside the file buffer; the product version is owned.
std::uint32_t Touch(std::u16string_view text, bool bBorrowed = true) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  Require(!bBorrowed || text.empty() ||
          (p >= g_pBegin && p + text.size() * sizeof(char16_t) <= g_pEnd));
  std::uint32_t sum = 0;
  for (char16_t c : text) {
    Require(c != u'\0');
    sum += c;
  }
  return sum;
}

LogRecordHeader HeaderAt(const std::vector<std::uint8_t>& bytes, std::size_t nOffset) {
  LogRecordHeader header;
  std::memcpy(&header, bytes.data() + nOffset, sizeof(header));
  return header;
}

bool LengthsAgree(const LogRecordHeader& h) {
  const auto bad = [](std::uint32_t n) { return n == 0 || n % 2 != 0; };
  if (bad(h.AppNameBytes) || bad(h.ModuleNameBytes) || bad(h.MessageBytes) ||
      h.ValueBytes % 2 != 0) {
    return false;
  }
  return std::uint64_t{h.AppNameBytes} + h.ModuleNameBytes + h.MessageBytes + h.ValueBytes ==
         h.StringBytes;
}

// The end of a record at nOffset by the reader's original rules, or 0.
std::size_t LenientEnd(const std::vector<std::uint8_t>& bytes, std::size_t nOffset) {
  if (bytes.size() - nOffset < sizeof(LogRecordHeader)) return 0;
  const LogRecordHeader h = HeaderAt(bytes, nOffset);
  if (h.HeaderSize != 248 || !LengthsAgree(h)) return 0;
  if (h.StringBytes > bytes.size() - nOffset - sizeof(LogRecordHeader)) return 0;
  return nOffset + sizeof(LogRecordHeader) + h.StringBytes;
}

std::size_t StrictEnd(const std::vector<std::uint8_t>& bytes, std::size_t nOffset) {
  const std::size_t nEnd = LenientEnd(bytes, nOffset);
  if (nEnd == 0) return 0;
  const LogRecordHeader h = HeaderAt(bytes, nOffset);
  if (h.FormatTag != 4 || h.Kind < 1 || h.Kind > 3) return 0;
  std::size_t nText = nOffset + sizeof(LogRecordHeader);
  for (std::uint32_t n : {h.AppNameBytes, h.ModuleNameBytes, h.MessageBytes, h.ValueBytes}) {
    if (n == 0) continue;
    nText += n;
    if (bytes[nText - 1] != 0 || bytes[nText - 2] != 0) return 0;
  }
  return nEnd;
}

// The reader as it was before resynchronisation: from the start of the data,
// record after record, until the first one that is not whole.
std::vector<std::size_t> OldReaderRecords(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::size_t> offsets;
  if (!IsKnownLogFileHeader(bytes.data(), bytes.size())) return offsets;
  std::size_t nOffset = sizeof(LogFileHeader);
  for (std::size_t nEnd; (nEnd = LenientEnd(bytes, nOffset)) != 0; nOffset = nEnd) {
    offsets.push_back(nOffset);
  }
  return offsets;
}

bool InRecord(std::u16string_view text, const std::uint8_t* pRecord, std::size_t nBytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  return text.empty() || (p >= pRecord && p + text.size() * 2 <= pRecord + nBytes);
}

// Walks the buffer and checks every invariant; returns the record count.
std::size_t CheckWalk(const std::vector<std::uint8_t>& bytes) {
  LogRecordWalk walk(bytes.data(), bytes.size());
  const LogFileState state = walk.FileState();
  Require(state == ClassifyLogFile(bytes.data(), bytes.size()));
  const bool bWalked = state == LogFileState::Known || state == LogFileState::Damaged;
  Require(walk.DataOffset() == (state == LogFileState::Known ? sizeof(LogFileHeader) : 0));

  std::size_t nExpected = walk.DataOffset();
  std::size_t nSteps = 0;
  std::size_t nSkipped = 0;
  // Old-reader agreement: records before the first skipped span.
  std::vector<std::size_t> beforeDamage;
  bool bDamageSeen = false;
  bool bAfterSkip = state == LogFileState::Damaged;
  LogRecordView record;
  for (LogWalkStep step; (step = walk.Next(record)) != LogWalkStep::End;) {
    Require(bWalked);
    Require(++nSteps <= bytes.size() / 2 + 2);
    if (step == LogWalkStep::Skipped) {
      const LogSkippedSpan& span = walk.SkippedSpan();
      Require(span.nOffset == nExpected && span.nBytes > 0);
      Require(span.nBytes <= bytes.size() - span.nOffset);
      Require((span.kind == LogSkipKind::FileHeader) == (span.nOffset == 0));
      Require(span.kind != LogSkipKind::TornTail || span.nOffset + span.nBytes == bytes.size());
      nExpected = span.nOffset + span.nBytes;
      nSkipped += span.nBytes;
      bDamageSeen = true;
      bAfterSkip = true;
      continue;
    }
    Require(record.nOffset == nExpected && record.nOffset % 2 == 0);
    Require(record.nBytes <= bytes.size() - record.nOffset);
    Require(LenientEnd(bytes, record.nOffset) == record.nOffset + record.nBytes);
    if (bAfterSkip) {
      // A restart point: strict, and followed by the end or another one.
      const std::size_t nEnd = StrictEnd(bytes, record.nOffset);
      Require(nEnd == record.nOffset + record.nBytes);
      Require(nEnd == bytes.size() || StrictEnd(bytes, nEnd) != 0);
      Require(IsLogRestartAt(bytes.data(), bytes.size(), record.nOffset));
      bAfterSkip = false;
    }
    const std::uint8_t* pRecord = bytes.data() + record.nOffset;
    for (auto text : {record.productVersion, record.appVersion, record.moduleVersion,
                      record.appName, record.moduleName, record.message, record.value}) {
      Require(InRecord(text, pRecord, record.nBytes));
    }
    if (!bDamageSeen) beforeDamage.push_back(record.nOffset);
    nExpected = record.nOffset + record.nBytes;
  }
  Require(walk.Next(record) == LogWalkStep::End);
  Require(!bWalked || nExpected == bytes.size());
  Require(walk.SkippedByteCount() == nSkipped);

  if (state == LogFileState::Known) {
    const std::vector<std::size_t> old = OldReaderRecords(bytes);
    Require(beforeDamage.size() <= old.size());
    for (std::size_t i = 0; i < beforeDamage.size(); ++i) Require(beforeDamage[i] == old[i]);
    // Without damage the two agree entirely; with it, only the old reader's
    // last record may have gone into the damage.
    if (!bDamageSeen) Require(beforeDamage.size() == old.size());
    Require(beforeDamage.size() + 1 >= old.size());
  }
  return walk.RecordCount();
}

void CheckParse(const std::vector<std::uint8_t>& bytes) {
  g_pBegin = bytes.data();
  g_pEnd = bytes.data() + bytes.size();

  ProductList products;
  const bool bOk = ParseLogRecords(bytes.data(), bytes.size(), products);

  volatile std::uint32_t sink = 0;
  std::int64_t nCounted = 0;
  for (const auto& pProduct : products) {
    sink = sink + Touch(pProduct->strProductVersion, false);
    for (const auto& pApp : pProduct->vecApps) {
      sink = sink + Touch(pApp->pszAppName) + Touch(pApp->pszAppVersion);
      for (const auto& pModule : pApp->vecModules) {
        sink = sink + Touch(pModule->pszModuleName) + Touch(pModule->pszModuleVersion);
        for (const auto& pItem : pModule->vecItems) {
          sink = sink + Touch(pItem->pszMessage) + (pItem->pszValue ? Touch(*pItem->pszValue) : 0);
          Require(pItem->nCount > 0);
          nCounted += pItem->nCount;
        }
      }
    }
  }

  const std::size_t nRecords = CheckWalk(bytes);
  Require(nCounted == static_cast<std::int64_t>(nRecords));
  const LogFileState state = ClassifyLogFile(bytes.data(), bytes.size());
  Require(bOk ==
          (state == LogFileState::Known || (state == LogFileState::Damaged && nRecords > 0)));

  ProductList expected;
  Require(logtest::LinearParse(bytes.data(), bytes.size(), expected) == bOk);
  Require(logtest::SameTree(products, expected));
}

void CheckMergePlan(const std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t kAccountBytes = 700;
  const std::size_t nCap = bytes.size() + bytes.size() / 2 + 64;
  const LogMergePlan plan = PlanLogMerge(bytes.data(), bytes.size(), bytes.data(), bytes.size(),
                                         kAccountBytes, static_cast<std::int64_t>(nCap));
  if (plan.bWait) return;
  Require(plan.bFreshHeader ? plan.nPendingKept == sizeof(LogFileHeader)
                            : plan.nPendingKept <= bytes.size());
  std::size_t nAt = sizeof(LogFileHeader);
  std::size_t nMerged = plan.nPendingKept;
  for (const LogByteSpan& span : plan.staged) {
    Require(span.nBytes != 0 && span.nOffset >= nAt && span.nOffset + span.nBytes <= bytes.size());
    nAt = span.nOffset + span.nBytes;
    nMerged += span.nBytes;
  }
  nMerged += (plan.NeedsTornAccount() + plan.NeedsLeftOutAccount()) * kAccountBytes;
  Require(nMerged <= nCap);
}

void CheckWholeRecords(const std::vector<std::uint8_t>& bytes) {
  const std::size_t nEnd = WholeRecordsEnd(bytes.data(), bytes.size());
  Require(nEnd <= bytes.size());
  Require(bytes.size() <= sizeof(LogFileHeader) ? nEnd == bytes.size()
                                                : nEnd >= sizeof(LogFileHeader));
  Require(WholeRecordsEndFromTail(bytes.data(), bytes.size()) == nEnd);
}

void CheckJournal(const std::uint8_t* pData, std::size_t nSize) {
  const std::optional<LogAppendJournal> journal = DecodeLogAppendJournal(pData, nSize);
  if (!journal) return;
  const auto bytes = EncodeLogAppendJournal(*journal);
  Require(nSize == bytes.size() && std::memcmp(bytes.data(), pData, nSize) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  // Exact-size heap copies: aligned as the reader requires, and ASan flags a
  // single byte read past their end.
  const std::vector<std::uint8_t> raw(pData, pData + nSize);
  CheckParse(raw);
  CheckWholeRecords(raw);

  std::vector<std::uint8_t> behindHeader(sizeof(LogFileHeader) + nSize);
  std::memcpy(behindHeader.data(), &kLogFileHeader, sizeof(LogFileHeader));
  if (nSize != 0) std::memcpy(behindHeader.data() + sizeof(LogFileHeader), pData, nSize);
  CheckParse(behindHeader);
  CheckMergePlan(behindHeader);
  CheckWholeRecords(behindHeader);
  CheckJournal(pData, nSize);
  return 0;
}
