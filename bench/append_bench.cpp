// Append throughput of the logging calls against the limit of a design that
// opens the file once per record: a plain open, write, close loop of the same
// bytes, measured side by side in the same run.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <vector>

#include "LogError.h"
#include "Win/proc_address.h"
#include "Win/program_folder.h"
#include "bench_support.h"
#include "crt_api.h"

using namespace suite;

namespace {

constexpr int kRecords = 2000;
constexpr int kRuns = 5;

double PerSecond(double seconds, int count) { return count / seconds; }

}  // namespace

int main() {
  std::wstring folder = MakeBenchDataFolder(L"append-bench");
  std::wstring activeLog = folder + L"\\error.Profile";
  std::wstring plainFile = folder + L"\\plain.bin";
  HMODULE library = LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str());
  HMODULE crt = GetModuleHandleW(L"crt.dll");
  if (library == nullptr || crt == nullptr) {
    printf("LogError.dll cannot be loaded\n");
    return 1;
  }
  auto logError = ProcAs<PFN_LogError>(library, "LogError");
  const wchar_t* message = L"Cannot open file for playback";

  // One record's bytes, as the library writes it with a null module handle.
  logError(nullptr, 0, message, L"D:\\media\\a.avi");
  LARGE_INTEGER size = {};
  HANDLE probe = CreateFileW(activeLog.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  GetFileSizeEx(probe, &size);
  CloseHandle(probe);
  std::vector<char> record(static_cast<size_t>(size.QuadPart) - 12, 'x');

  auto plainLoop = [&] {
    DeleteFileW(plainFile.c_str());
    for (int i = 0; i < kRecords; ++i) {
      HANDLE file = CreateFileW(plainFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      SetFilePointer(file, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
      CloseHandle(file);
    }
  };
  auto logLoop = [&](HMODULE module) {
    DeleteFileW(activeLog.c_str());
    for (int i = 0; i < kRecords; ++i) logError(module, 0, message, L"D:\\media\\a.avi");
  };
  std::vector<double> medians =
      InterleavedMedians(kRuns, {plainLoop, [&] { logLoop(nullptr); }, [&] { logLoop(crt); }});
  const double plain = medians[0], nullModule = medians[1], withModule = medians[2];

  // The platform queries a call with a module handle makes, one by one.
  wchar_t path[MAX_PATH];
  wchar_t name[MAX_PATH];
  wchar_t version[64];
  GetModuleFileNameW(crt, path, MAX_PATH);
  double fileNameQuery = MedianSeconds(kRuns,
                                       [&] {
                                         for (int i = 0; i < kRecords; ++i)
                                           GetModuleFileNameW(crt, path, MAX_PATH);
                                       }) /
                         kRecords;
  double baseNameQuery =
      MedianSeconds(kRuns,
                    [&] {
                      for (int i = 0; i < kRecords; ++i) {
                        GetModuleBaseNameW(GetCurrentProcess(), crt, name, MAX_PATH);
                      }
                    }) /
      kRecords;
  double versionQuery = MedianSeconds(kRuns,
                                      [&] {
                                        for (int i = 0; i < kRecords; ++i)
                                          GetFileVersionText(path, version, 64);
                                      }) /
                        kRecords;

  double plainRate = PerSecond(plain, kRecords);
  double nullRate = PerSecond(nullModule, kRecords);
  double moduleRate = PerSecond(withModule, kRecords);
  double moduleCall = withModule / kRecords;
  printf("Append throughput, %d records of %zu bytes, median of %d interleaved runs\n", kRecords,
         record.size(), kRuns);
  printf("  plain open-write-close loop   %9.0f records/s (the limit)\n", plainRate);
  printf("  LogError, null module handle  %9.0f records/s  %.2f of the limit\n", nullRate,
         nullRate / plainRate);
  printf("  LogError, module handle       %9.0f records/s  %.2f of the limit\n", moduleRate,
         moduleRate / plainRate);
  printf("  share of one call with a module handle (%.1f us):\n", moduleCall * 1e6);
  printf("    GetModuleFileNameW  %8.1f us  %5.1f%%\n", fileNameQuery * 1e6,
         100 * fileNameQuery / moduleCall);
  printf("    GetModuleBaseNameW  %8.1f us  %5.1f%%\n", baseNameQuery * 1e6,
         100 * baseNameQuery / moduleCall);
  printf("    GetFileVersionText  %8.1f us  %5.1f%%\n", versionQuery * 1e6,
         100 * versionQuery / moduleCall);
  FreeLibrary(library);
  DeleteFileW(activeLog.c_str());
  DeleteFileW(plainFile.c_str());
  DeleteFileW((folder + L"\\settings.ini").c_str());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
