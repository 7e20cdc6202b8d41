// One writer process of a stress run: loads LogError.dll (its process entry
// may roll the log over), then logs from several threads at once through the
// public exports, and accounts for every call that has returned.
//
//   stress_writer BLOCK PROCESS THREADS RECORDS PACE_MS
//
// BLOCK names the shared block (child_block.h); PROCESS is this writer's
// number in the run, part of every message; PACE_MS, when not 0, is a pause
// between one thread's calls.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <thread>
#include <vector>

#include "LogError.h"
#include "Win/proc_address.h"
#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "child_block.h"
#include "child_process.h"
#include "record_key.h"
#include "storage/log_exclusion.h"

using namespace suite;

namespace {

void Account(stress::ThreadAccount& account, std::uint32_t nIndex, std::int64_t nMicros) {
  const auto nMs = static_cast<std::int32_t>(nMicros / 1000);
  if (nMs > account.nMaxCallMs.load()) account.nMaxCallMs = nMs;
  // A call that waited this long may have given up on its record.
  if (nMs >= static_cast<std::int32_t>(kLogExclusionBoundMs)) {
    const std::int32_t nSlow = account.nSlowCalls.load();
    if (nSlow < stress::kSlowIndexSlots) {
      account.slowIndex[nSlow] = static_cast<std::int32_t>(nIndex);
    }
    account.nSlowCalls = nSlow + 1;
  }
  // Last: the record is accounted for only once its call has returned.
  account.nDone = static_cast<std::int32_t>(nIndex + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return 2;
  stress::ChildBlockMapping block = stress::ChildBlockMapping::Open(argv[1]);
  const auto nProcess = static_cast<std::uint32_t>(_wtoi(argv[2]));
  const int nThreads = std::clamp(_wtoi(argv[3]), 1, stress::kMaxThreads);
  const auto nRecords = static_cast<std::uint32_t>(_wtoi(argv[4]));
  const DWORD nPaceMs = static_cast<DWORD>(_wtoi(argv[5]));
  if (!block) return 3;

  UniqueModule library =
      UniqueModule::Adopt(LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str()));
  if (!library) return 4;
  const PFN_LogError calls[3] = {ProcAs<PFN_LogError>(library.get(), "LogError"),
                                 ProcAs<PFN_LogWarning>(library.get(), "LogWarning"),
                                 ProcAs<PFN_LogException>(library.get(), "LogException")};
  if (std::find(std::begin(calls), std::end(calls), nullptr) != std::end(calls)) return 5;

  const std::int64_t nStart = stress::NowMicros();
  block->nPhase = stress::kBegun;
  std::vector<std::thread> threads;
  for (int t = 0; t < nThreads; ++t) {
    threads.emplace_back([&, t] {
      stress::ThreadAccount& account = block->threads[t];
      for (std::uint32_t n = 0; n < nRecords; ++n) {
        const stress::RecordKey key{nProcess, static_cast<std::uint32_t>(t), n};
        const std::wstring message = stress::MessageOf(key);
        const std::optional<std::wstring> value = stress::ValueOf(key);
        const std::int64_t nBefore = stress::NowMicros();
        calls[stress::KindOf(key) - 1](nullptr, stress::CodeOf(key), message.c_str(),
                                       value ? value->c_str() : nullptr);
        Account(account, n, stress::NowMicros() - nBefore);
        if (nPaceMs != 0) Sleep(nPaceMs);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  block->nWorkMicros = stress::NowMicros() - nStart;
  block->nPhase = stress::kFinished;
  return 0;
}
