#include "record_ledger.h"

#include <algorithm>

#include "record_key.h"

using namespace suite;

namespace stress {

namespace {

constexpr std::size_t kProblemsShown = 12;

std::uint64_t ThreadId(RecordKey key) {
  key.nIndex = 0;
  return key.Packed();
}

void Note(std::vector<std::wstring>& problems, std::wstring text) {
  if (problems.size() < kProblemsShown) problems.push_back(std::move(text));
}

}  // namespace

std::size_t RecordLedger::AddSource(std::wstring name, bool bUnconfirmed) {
  m_sources.push_back({std::move(name), bUnconfirmed});
  return m_sources.size() - 1;
}

void RecordLedger::Add(std::size_t nSource, const FoundRecord& record) {
  if (const std::optional<FoundAccount> account = AccountOf(record)) {
    AddAccount(nSource, record, *account);
    return;
  }
  const std::optional<RecordKey> key = ParseMessage(record.message);
  if (!key) {
    ++m_nForeign;
    Note(m_problems, L"foreign text \"" + record.message + L"\" in " + m_sources[nSource].name);
    return;
  }
  if (record.nKind != KindOf(*key) || record.errorCode != std::to_wstring(CodeOf(*key)) ||
      record.value != ValueOf(*key)) {
    ++m_nAltered;
    Note(m_problems, record.message + L" altered in " + m_sources[nSource].name);
  }
  std::vector<std::size_t>& places = m_found[key->Packed()];
  for (long i = 0; i < std::max(record.nCount, 1L); ++i) places.push_back(nSource);
}

void RecordLedger::AddAccount(std::size_t nSource, const FoundRecord& record,
                              const FoundAccount& account) {
  const auto nFolded = static_cast<std::uint64_t>(std::max(record.nCount, 1L));
  m_accounts.nRecords += nFolded;
  if (!account.nNotKept) {
    ++m_nForeign;
    Note(m_problems, L"account " + record.errorCode + L" with value \"" +
                         record.value.value_or(L"(none)") + L"\" in " + m_sources[nSource].name);
    return;
  }
  const std::uint64_t nNotKept = *account.nNotKept * nFolded;
  switch (account.cause) {
    case LogAccountCause::DayLogCap:
      m_accounts.nAtCap += nNotKept;
      break;
    case LogAccountCause::WriterDrops:
      m_accounts.nByWriters += nNotKept;
      break;
    case LogAccountCause::PendingFull:
      m_accounts.nPendingFull += nNotKept;
      break;
    case LogAccountCause::TornRecord:
      m_accounts.nTorn += nNotKept;
      break;
  }
}

void RecordLedger::ExpectWriter(std::uint32_t nProcess, int nThreads, const ChildBlock& block) {
  for (int t = 0; t < nThreads; ++t) {
    const ThreadAccount& account = block.threads[t];
    Thread thread{account.nDone.load(), {}};
    for (int i = 0; i < std::min(account.nSlowCalls.load(), kSlowIndexSlots); ++i) {
      thread.slowIndices.push_back(account.slowIndex[i].load());
    }
    m_threads[ThreadId({nProcess, static_cast<std::uint32_t>(t), 0})] = std::move(thread);
  }
}

LedgerVerdict RecordLedger::Check(LossRule rule) const {
  LedgerVerdict verdict;
  verdict.rule = rule;
  verdict.nAltered = m_nAltered;
  verdict.nForeign = m_nForeign;
  verdict.accounts = m_accounts;
  verdict.problems = m_problems;
  // Records not found are faults only where the accounts do not cover them.
  std::vector<std::wstring> lost;
  for (const auto& [id, thread] : m_threads) {
    const RecordKey first{static_cast<std::uint32_t>(id >> 40),
                          static_cast<std::uint32_t>(id >> 32 & 0xFF), 0};
    verdict.nPromised += static_cast<std::size_t>(thread.nDone);
    for (std::int32_t n = 0; n < thread.nDone; ++n) {
      const RecordKey key{first.nProcess, first.nThread, static_cast<std::uint32_t>(n)};
      if (m_found.contains(key.Packed())) continue;
      ++verdict.nLost;
      const bool bSlow = std::ranges::find(thread.slowIndices, n) != thread.slowIndices.end();
      if (bSlow) ++verdict.nLostAfterSlowCall;
      Note(lost, MessageOf(key) + L" lost" + (bSlow ? L" (its call waited the bound)" : L""));
    }
  }
  if (!verdict.AccountsAddUp()) {
    Note(verdict.problems, std::to_wstring(verdict.nLost) +
                               L" records not found, but the accounts say " +
                               std::to_wstring(verdict.accounts.NotKept()) + L" were not kept");
    for (std::wstring& text : lost) Note(verdict.problems, std::move(text));
  }
  for (auto [packed, places] : m_found) {
    const RecordKey key{static_cast<std::uint32_t>(packed >> 40),
                        static_cast<std::uint32_t>(packed >> 32 & 0xFF),
                        static_cast<std::uint32_t>(packed)};
    ++verdict.nFound;
    const auto thread = m_threads.find(ThreadId(key));
    if (thread == m_threads.end() || static_cast<std::int64_t>(key.nIndex) > thread->second.nDone) {
      ++verdict.nPhantom;
      Note(verdict.problems, MessageOf(key) + L" found, but its call was never made");
      continue;
    }
    if (static_cast<std::int32_t>(key.nIndex) == thread->second.nDone) ++verdict.nInFlight;
    if (places.size() < 2) continue;
    std::ranges::sort(places);
    // Found again is right only after a report whose removal may not have
    // happened, and never twice in one place.
    bool bExplained = true;
    for (std::size_t i = 0; i + 1 < places.size(); ++i) {
      bExplained = bExplained && m_sources[places[i]].bUnconfirmed && places[i] != places[i + 1];
    }
    if (bExplained) {
      ++verdict.nDuplicatesFromKilledSenders;
    } else {
      ++verdict.nDuplicates;
      std::wstring where;
      for (std::size_t place : places) where += L" " + m_sources[place].name;
      Note(verdict.problems,
           MessageOf(key) + L" found " + std::to_wstring(places.size()) + L" times:" + where);
    }
  }
  return verdict;
}

}  // namespace stress
