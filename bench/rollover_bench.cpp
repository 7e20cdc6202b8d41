// Library load time on a roll-over day with log files near the cap, against a
// plain copy of the same number of bytes made in the same run. The roll-over
// runs inside the loader lock, so this is time every loading process waits.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "program_folder.h"
#include "unique_resource.h"

namespace {

constexpr LONGLONG kCap = 26214400;
constexpr int kRuns = 5;

// A log file of `size` bytes: the file header, then filler.
bool WriteLog(const std::wstring& path, LONGLONG size) {
  static const std::vector<char> block = [] {
    std::vector<char> bytes(1 << 20, 'r');
    const char header[12] = {'.', 'E', 'R', 'R', 1, 0, 0, 0, 1, 0, 0, 0};
    std::copy(header, header + 12, bytes.begin());
    return bytes;
  }();
  UniqueFileHandle file = UniqueFileHandle::Adopt(CreateFileW(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  for (LONGLONG done = 0; done < size;) {
    DWORD chunk = static_cast<DWORD>(std::min<LONGLONG>(size - done, block.size()));
    DWORD written = 0;
    if (!WriteFile(file.get(), block.data(), chunk, &written, nullptr) || written != chunk) {
      return false;
    }
    done += chunk;
  }
  return true;
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

struct Figures {
  double load = 0;         // LoadLibraryW with the roll-over due
  double copy = 0;         // CopyFileW of the body's bytes
  double copyFlushed = 0;  // the same copy, then flushed as the merge flushes
  double quietLoad = 0;    // LoadLibraryW with no roll-over due
  double blockCopy = 0;    // one fresh block: one read, one write, one flush
};

// The copy as the roll-over makes it: the whole body in one block of fresh
// memory. Apart from the loader, the difference to CopyFileW is this block.
bool CopyInOneBlock(const std::wstring& from, const std::wstring& to) {
  UniqueFileHandle source = UniqueFileHandle::Adopt(
      CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueFileHandle target = UniqueFileHandle::Adopt(
      CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  LARGE_INTEGER size;
  if (!source || !target || !GetFileSizeEx(source.get(), &size)) return false;
  const DWORD bytes = static_cast<DWORD>(size.QuadPart);
  std::unique_ptr<char[]> block(new char[bytes]);
  DWORD read = 0, written = 0;
  return ReadFile(source.get(), block.get(), bytes, &read, nullptr) &&
         WriteFile(target.get(), block.get(), read, &written, nullptr) &&
         FlushFileBuffers(target.get());
}

Figures Measure(const std::wstring& folder, LONGLONG active, LONGLONG pending) {
  const std::wstring library = ProgramFolder() + L"\\LogError.dll";
  const std::wstring settings = folder + L"\\settings.ini";
  const std::wstring activeLog = folder + L"\\error.Profile";
  const std::wstring pendingLog = folder + L"\\error.bf";
  const std::wstring copySource = folder + L"\\copy-source.bin";
  const std::wstring copyTarget = folder + L"\\copy-target.bin";
  std::vector<double> load, copy, copyFlushed, quietLoad, blockCopy;

  for (int run = 0; run < kRuns; ++run) {
    DeleteFileW(pendingLog.c_str());
    if (!WriteLog(activeLog, active) || !WriteLog(pendingLog, pending)) return {};
    WritePrivateProfileStringW(L"General", L"LogErrorDate", L"2000.01.01", settings.c_str());
    double start = NowSeconds();
    UniqueModule module;
    module.reset(LoadLibraryW(library.c_str()));
    load.push_back(NowSeconds() - start);
    if (!module || GetFileAttributesW(activeLog.c_str()) != INVALID_FILE_ATTRIBUTES) {
      printf("the roll-over did not run\n");
      return {};
    }
    module.reset();

    // The date is now today's: a load without a roll-over.
    start = NowSeconds();
    module.reset(LoadLibraryW(library.c_str()));
    quietLoad.push_back(NowSeconds() - start);
    module.reset();

    // The merge moves the active file's body: its size less the file header.
    if (!WriteLog(copySource, active - 12)) return {};
    DeleteFileW(copyTarget.c_str());
    start = NowSeconds();
    CopyFileW(copySource.c_str(), copyTarget.c_str(), FALSE);
    copy.push_back(NowSeconds() - start);

    DeleteFileW(copyTarget.c_str());
    start = NowSeconds();
    CopyFileW(copySource.c_str(), copyTarget.c_str(), FALSE);
    {
      UniqueFileHandle target = UniqueFileHandle::Adopt(
          CreateFileW(copyTarget.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      FlushFileBuffers(target.get());
    }
    copyFlushed.push_back(NowSeconds() - start);

    DeleteFileW(copyTarget.c_str());
    start = NowSeconds();
    if (!CopyInOneBlock(copySource, copyTarget)) return {};
    blockCopy.push_back(NowSeconds() - start);
  }
  for (const std::wstring& path : {activeLog, pendingLog, copySource, copyTarget, settings}) {
    DeleteFileW(path.c_str());
  }
  return {Median(load), Median(copy), Median(copyFlushed), Median(quietLoad), Median(blockCopy)};
}

}  // namespace

int main() {
  const std::wstring folder = MakeBenchDataFolder(L"rollover-bench");
  const struct {
    const char* name;
    LONGLONG active, pending;
  } cases[] = {
      {"active near the cap, pending 64 KiB", kCap - (64 << 10), 64 << 10},
      {"active and pending half the cap each", kCap / 2, kCap / 2},
  };
  printf("Daily roll-over: medians of %d runs, milliseconds; ratios are load / copy\n", kRuns);
  printf("%-38s %7s %7s %7s %8s %7s %6s %6s %6s\n", "case", "load", "quiet", "copy", "copy+fl",
         "1-block", "/copy", "/c+fl", "/1-blk");
  for (const auto& c : cases) {
    Figures f = Measure(folder, c.active, c.pending);
    if (f.load == 0) return 1;
    printf("%-38s %7.1f %7.1f %7.1f %8.1f %7.1f %6.2f %6.2f %6.2f\n", c.name, f.load * 1e3,
           f.quietLoad * 1e3, f.copy * 1e3, f.copyFlushed * 1e3, f.blockCopy * 1e3, f.load / f.copy,
           f.load / f.copyFlushed, f.load / f.blockCopy);
  }
  RemoveDirectoryW(folder.c_str());
  return 0;
}
