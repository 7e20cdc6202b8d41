#include "active_log_append.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "Win/hresult_error.h"
#include "format/log_format.h"
#include "format/log_record_walk.h"
#include "storage/log_file_io.h"

namespace suite {

namespace {

// One cap account as found in the file.
struct CapAccount {
  LONGLONG nRecordAt = 0;
  LONGLONG nDigitsAt = 0;  // where its count's digits are
  std::uint32_t nCount = 0;
};

LogTime Now() noexcept {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogTime time;
  static_assert(sizeof(now) == sizeof(time));
  std::memcpy(&time, &now, sizeof(time));
  return time;
}

// The cap account among the records of `pData`, a buffer whose offset 0 is
// `nBase` in the file and which starts with a file header; the last one
// found, since an account is never followed by another.
std::optional<CapAccount> CapAccountIn(const std::uint8_t* pData, std::size_t nBytes,
                                       LONGLONG nBase) noexcept {
  std::optional<CapAccount> found;
  LogRecordWalk walk(pData, nBytes);
  LogRecordView record;
  for (LogWalkStep step; (step = walk.Next(record)) != LogWalkStep::End;) {
    if (step != LogWalkStep::Record || !record.bHasValue ||
        LogAccountCauseOf(record) != LogAccountCause::DayLogCap ||
        record.value.size() != kCapCountDigits) {
      continue;
    }
    const std::optional<std::uint64_t> nCount =
        LogAccountRecordsNotKept(LogAccountCause::DayLogCap, record.value);
    if (!nCount || *nCount > kCapCountMax) continue;
    const auto nValueOffset = reinterpret_cast<const std::uint8_t*>(record.value.data()) - pData;
    found = CapAccount{nBase + static_cast<LONGLONG>(record.nOffset), nBase + nValueOffset,
                       static_cast<std::uint32_t>(*nCount)};
  }
  return found;
}

// The cap account whose record starts at `nAt`, as the hint says.
std::optional<CapAccount> CapAccountAt(HANDLE hFile, LONGLONG nAt, LONGLONG nEnd) noexcept {
  constexpr std::size_t kMostBytes = 4096;  // more than any account takes
  if (nAt < static_cast<LONGLONG>(kLogFileHeaderBytes) || nAt >= nEnd || (nAt & 1) != 0) {
    return std::nullopt;
  }
  // A file header in front, so that the walk takes the record for the first.
  alignas(4) std::uint8_t buffer[kLogFileHeaderBytes + kMostBytes];
  std::memcpy(buffer, &kLogFileHeader, kLogFileHeaderBytes);
  const auto nBytes = static_cast<std::size_t>(std::min<LONGLONG>(kMostBytes, nEnd - nAt));
  if (!SeekTo(hFile, nAt) || !ReadExactly(hFile, buffer + kLogFileHeaderBytes, nBytes)) {
    return std::nullopt;
  }
  const std::optional<CapAccount> found =
      CapAccountIn(buffer, kLogFileHeaderBytes + nBytes, nAt - kLogFileHeaderBytes);
  return found && found->nRecordAt == nAt ? found : std::nullopt;
}

// Without a hint (its processes ended), the whole file is searched: once.
// False when it could not be read (or held in memory): whether the day's log
// has a cap account is then unknown.
bool SearchCapAccount(HANDLE hFile, std::optional<CapAccount>& found) noexcept {
  FileBytes bytes;
  if (!ReadWholeFile(hFile, kLogReadableBytes, bytes)) return false;
  found = CapAccountIn(bytes.data.get(), bytes.size, 0);
  return true;
}

// Appends `block`; a failure cuts the file back so that no torn record stays.
bool WriteAtEnd(const ActiveLogTurn& turn, const void* pData, std::size_t nBytes,
                bool& bTailWhole) noexcept {
  if (SeekTo(turn.hFile, turn.nEnd) && WriteExactly(turn.hFile, pData, nBytes)) return true;
  // Where even the cut fails, the next writer cuts the tail first.
  bTailWhole = TruncateAt(turn.hFile, turn.nCutBack);
  return false;
}

void AppendAccount(std::vector<std::uint8_t>& block, const LogAccountIdentity& identity,
                   LogAccountCause cause, std::u16string_view value, const LogTime& time) {
  const std::vector<std::uint8_t> account = LogAccountRecord(identity, cause, value, time);
  block.insert(block.end(), account.begin(), account.end());
}

// The accounts due in this turn, one per cause, in one block. Empty when
// nothing is due or memory is short (the counts then stay due).
std::vector<std::uint8_t> DueAccounts(LONG nDropped, LONGLONG nTornBytes,
                                      const LogAccountIdentity& identity) noexcept {
  return CatchValue(std::vector<std::uint8_t>(), [&] {
    std::vector<std::uint8_t> block;
    const LogTime time = Now();
    if (nTornBytes != 0) {
      AppendAccount(block, identity, LogAccountCause::TornRecord,
                    CountText(static_cast<std::uint64_t>(nTornBytes)), time);
    }
    if (nDropped != 0) {
      AppendAccount(block, identity, LogAccountCause::WriterDrops,
                    DropCountText(static_cast<std::uint64_t>(nDropped),
                                  nDropped == LogAccountState::kDropCountSaturated),
                    time);
    }
    return block;
  });
}

// Counts `nNotKept` more records in the day's cap account, writing it into
// the reserve when the day's log has none yet. A count is rewritten in place
// in its fixed width: a write cut short leaves digits, never a torn record.
// False when nothing was counted: a day's log whose cap account may be there
// unseen gets no second one, and what was not kept stays due as drops.
bool CountAtCap(const ActiveLogTurn& turn, std::uint64_t nNotKept, LogAccountState& state,
                const LogAccountIdentity& identity, std::optional<CapAccount> cap,
                bool& bTailWhole) noexcept {
  if (!cap && !SearchCapAccount(turn.hFile, cap)) return false;
  if (cap) {
    const auto nCount = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{cap->nCount} + nNotKept, kCapCountMax));
    const std::array<char16_t, kCapCountDigits> digits = CapCountDigits(nCount);
    state.SetCapAccountHint(static_cast<LONG>(cap->nRecordAt));
    return SeekTo(turn.hFile, cap->nDigitsAt) &&
           WriteExactly(turn.hFile, digits.data(), sizeof(digits));
  }
  const auto nCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(nNotKept, kCapCountMax));
  const std::vector<std::uint8_t> account = CatchValue(std::vector<std::uint8_t>(), [&] {
    return LogAccountRecord(identity, LogAccountCause::DayLogCap, CapCountText(nCount), Now());
  });
  if (account.empty() || !WriteAtEnd(turn, account.data(), account.size(), bTailWhole)) {
    return false;
  }
  state.SetCapAccountHint(static_cast<LONG>(turn.nEnd));
  return true;
}

}  // namespace

AppendOutcome AppendInTurn(const ActiveLogTurn& turn, const std::byte* pRecord,
                           std::size_t nRecordBytes, LogAccountState& state,
                           const LogAccountIdentity& identity, bool& bTailWhole) noexcept {
  const LONG nDropped = state.Dropped();
  const LONG nHint = state.CapAccountHint();
  // A hint past the end is an earlier day's; the roll-over has taken it away.
  if (nHint >= turn.nEnd) state.SetCapAccountHint(-1);
  const bool bHinted = nHint >= 0 && nHint < turn.nEnd;
  const bool bFits =
      pRecord == nullptr || turn.nEnd + static_cast<LONGLONG>(nRecordBytes) <= kLogRecordLimit;
  if (!bHinted && bFits && nDropped == 0 && turn.nTornBytes == 0) {
    return pRecord == nullptr || WriteAtEnd(turn, pRecord, nRecordBytes, bTailWhole)
               ? AppendOutcome::Appended
               : AppendOutcome::Failed;
  }

  // Once the day's log holds its cap account, nothing more is appended.
  std::optional<CapAccount> cap;
  if (bHinted) {
    cap = CapAccountAt(turn.hFile, nHint, turn.nEnd);
    if (!cap) state.SetCapAccountHint(-1);
  }
  if (!cap && bFits) {
    std::vector<std::uint8_t> block = DueAccounts(nDropped, turn.nTornBytes, identity);
    const bool bAccounted =
        !block.empty() &&
        turn.nEnd + static_cast<LONGLONG>(block.size() + nRecordBytes) <= kLogRecordLimit;
    if (bAccounted) {
      const bool bBlock = CatchValue(false, [&] {
        block.insert(block.end(), reinterpret_cast<const std::uint8_t*>(pRecord),
                     reinterpret_cast<const std::uint8_t*>(pRecord) + nRecordBytes);
        return true;
      });
      if (bBlock) {
        // Accounts and record in one write: all of them are there, or none.
        if (!WriteAtEnd(turn, block.data(), block.size(), bTailWhole)) {
          return pRecord == nullptr ? AppendOutcome::Appended : AppendOutcome::Failed;
        }
        state.Accounted(nDropped);
        return AppendOutcome::Appended;
      }
    }
    if (pRecord != nullptr) {
      // The accounts wait for room that a record does not need; a torn
      // record's account waits as a drop of its own.
      if (turn.nTornBytes != 0) state.CountDrop();
      return WriteAtEnd(turn, pRecord, nRecordBytes, bTailWhole) ? AppendOutcome::Appended
                                                                 : AppendOutcome::Failed;
    }
    // Only accounts that were built and do not fit say the day's log is at
    // its cap; accounts not built (memory short) stay due.
    if (block.empty() || bAccounted) {
      if (turn.nTornBytes != 0) state.CountDrop();
      return AppendOutcome::Appended;
    }
  }

  // At the cap: every record not kept, whatever the cause, counts there.
  const std::uint64_t nNotKept = (pRecord != nullptr ? 1u : 0u) +
                                 static_cast<std::uint64_t>(nDropped) +
                                 (turn.nTornBytes != 0 ? 1u : 0u);
  if (nNotKept == 0) return AppendOutcome::Appended;
  if (!CountAtCap(turn, nNotKept, state, identity, cap, bTailWhole)) {
    if (turn.nTornBytes != 0) state.CountDrop();
    return pRecord == nullptr ? AppendOutcome::Appended : AppendOutcome::Failed;
  }
  state.Accounted(nDropped);
  return pRecord == nullptr ? AppendOutcome::Appended : AppendOutcome::Refused;
}

}  // namespace suite
