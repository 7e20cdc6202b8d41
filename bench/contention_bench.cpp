// How long one logging call takes while many writers of the suite append to
// one data folder at once: 4 processes of 4 threads each log as fast as they
// can; the percentiles of the calls' times, and how many records reached the
// file. The bound a writer waits for its turn is chosen from these figures.
//
//   contention_bench                    the run (starts its own children)
//   contention_bench child N T OUT      one writer process: T threads of N
//                                       records; call times to file OUT
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "LogError.h"
#include "Win/date_text.h"
#include "Win/proc_address.h"
#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "bench_support.h"

using namespace suite;

namespace {

constexpr int kProcesses = 4;
constexpr int kThreads = 4;
constexpr int kRecords = 400;
constexpr wchar_t kStartEvent[] = L"Local\\PlayerSuite.ContentionBench.Start";

double Microseconds(LONGLONG ticks) {
  static const double perTick = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1e6 / static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(ticks) * perTick;
}

int RunChild(int records, int threads, const wchar_t* out) {
  HMODULE library = LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str());
  if (library == nullptr) return 2;
  auto logError = ProcAs<PFN_LogError>(library, "LogError");
  UniqueKernelHandle start = UniqueKernelHandle::Adopt(OpenEventW(SYNCHRONIZE, FALSE, kStartEvent));
  if (start) WaitForSingleObject(start.get(), 30000);
  std::vector<std::vector<std::uint32_t>> times(threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < records; ++i) {
        std::wstring message = L"p" + std::to_wstring(GetCurrentProcessId()) + L"-t" +
                               std::to_wstring(t) + L"-" + std::to_wstring(i);
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        logError(nullptr, i + 1, message.c_str(), L"v");
        QueryPerformanceCounter(&after);
        times[t].push_back(
            static_cast<std::uint32_t>(Microseconds(after.QuadPart - before.QuadPart)));
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  FILE* file = _wfopen(out, L"wb");
  if (file == nullptr) return 3;
  for (const auto& t : times) fwrite(t.data(), sizeof(std::uint32_t), t.size(), file);
  fclose(file);
  FreeLibrary(library);
  return 0;
}

// Records in a log file, counted by their headers' lengths.
std::size_t CountRecords(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return 0;
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  fclose(file);
  std::size_t count = 0;
  for (std::size_t offset = 12; offset + 248 <= bytes.size(); ++count) {
    std::uint32_t stringBytes = 0;
    std::copy_n(bytes.data() + offset + 20, sizeof(stringBytes),
                reinterpret_cast<unsigned char*>(&stringBytes));
    offset += 248 + stringBytes;
  }
  return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wstring(argv[1]) == L"child") {
    return RunChild(_wtoi(argv[2]), _wtoi(argv[3]), argv[4]);
  }
  const std::wstring folder = MakeBenchDataFolder(L"contention-bench");
  // Today's date keeps the roll-over out of the measurement.
  WritePrivateProfileStringW(L"General", L"LogErrorDate", TodayDateText().text,
                             (folder + L"\\settings.ini").c_str());
  UniqueKernelHandle start =
      UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, kStartEvent));

  std::vector<PROCESS_INFORMATION> children;
  std::vector<std::wstring> outputs;
  for (int p = 0; p < kProcesses; ++p) {
    outputs.push_back(folder + L"\\times" + std::to_wstring(p) + L".bin");
    std::wstring command = L"\"" + ProgramFolder() + L"\\contention_bench.exe\" child " +
                           std::to_wstring(kRecords) + L" " + std::to_wstring(kThreads) + L" \"" +
                           outputs.back() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      printf("cannot start a writer process\n");
      return 1;
    }
    CloseHandle(process.hThread);
    children.push_back(process);
  }
  Sleep(2000);  // every child loaded and waiting
  SetEvent(start.get());
  for (PROCESS_INFORMATION& child : children) {
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hProcess);
  }

  std::vector<std::uint32_t> all;
  for (const std::wstring& out : outputs) {
    FILE* file = _wfopen(out.c_str(), L"rb");
    if (file == nullptr) continue;
    std::uint32_t value;
    while (fread(&value, sizeof(value), 1, file) == 1) all.push_back(value);
    fclose(file);
    DeleteFileW(out.c_str());
  }
  std::sort(all.begin(), all.end());
  const auto at = [&all](double share) {
    return all.empty() ? 0u
                       : all[std::min(all.size() - 1, static_cast<size_t>(share * all.size()))];
  };
  const std::wstring log = folder + L"\\error.Profile";
  printf("%d processes x %d threads x %d records: %zu of %d records in the file\n", kProcesses,
         kThreads, kRecords, CountRecords(log), kProcesses * kThreads * kRecords);
  printf("one call, microseconds: p50 %u  p90 %u  p99 %u  p99.9 %u  max %u\n", at(0.5), at(0.9),
         at(0.99), at(0.999), all.empty() ? 0u : all.back());
  DeleteFileW(log.c_str());
  DeleteFileW((folder + L"\\settings.ini").c_str());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
