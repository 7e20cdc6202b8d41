// Library load time on a roll-over day with log files of real records near the
// cap. Less a quiet load of the same files (no roll-over due), it is the
// roll-over's own cost, set against a one-block copy of the day's body made in
// the same run. The roll-over runs inside the loader lock, so this is time
// every loading process waits.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Win/date_text.h"
#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "bench_support.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

constexpr LONGLONG kCap = kLogRolloverCap;
constexpr int kRuns = 5;

// Record sizes, in bytes: most records are a short message, some carry a
// value text, a few a long one (a dump of calls). All stay far below the 64 KiB
// the first load reads to judge a file's tail.
constexpr std::size_t kSmallestRecord = 360;
constexpr std::size_t kLargestRecord = 6144;

const char16_t* const kMessageWords[] = {
    u"Cannot open", u"the stream",   u"for playback:", u"access denied",   u"while reading",
    u"frame",       u"at offset",    u"0x0004A3F0",    u"the decoder",     u"returned",
    u"E_FAIL",      u"after",        u"3 retries;",    u"D:\\media\\clip", u"timed out",
    u"waiting for", u"the renderer", u"device lost",   u"buffer",          u"underrun",
};
const char16_t* const kValueLines[] = {
    u"  at Decoder!ReadFrame+0x1a4\r\n",   u"  at Decoder!DecodeLoop+0x58\r\n",
    u"  at Renderer!Present+0x2c0\r\n",    u"  at Storage!ReadBlock+0x9e\r\n",
    u"  at Network!Receive+0x113\r\n",     u"  at Player!OnTimer+0x7c\r\n",
    u"  path=D:\\media\\clip0417.avi\r\n", u"  state=buffering position=00:12:41.320\r\n",
};
struct NamedVersion {
  const char16_t* name;
  const char16_t* version;
};
const NamedVersion kApps[] = {
    {u"Player.exe", u"5.2.0.118"}, {u"Editor.exe", u"3.1.4.7"}, {u"Converter.exe", u"2.0.9.31"}};
const NamedVersion kModules[] = {{u"Decoder.dll", u"5.2.0.40"},
                                 {u"Renderer.dll", u"5.2.0.12"},
                                 {u"Network.dll", u"1.8.2.0"},
                                 {u"Storage.dll", u"4.0.0.3"},
                                 {u"Interface.dll", u"5.2.0.118"}};

template <typename T, std::size_t N>
const T& Pick(std::mt19937& rng, const T (&items)[N]) {
  return items[rng() % N];
}

// `chars` code units of text made of `pieces` from a random one on, with no
// zero in it: each text's first zero is its terminator.
template <std::size_t N>
std::u16string TextOf(std::mt19937& rng, std::size_t chars, const char16_t* const (&pieces)[N],
                      const char16_t* separator) {
  std::u16string text;
  for (std::size_t i = rng() % N; text.size() < chars; i = (i + 1) % N) {
    if (!text.empty()) text += separator;
    text += pieces[i];
  }
  text.resize(chars);
  return text;
}

// One record of exactly `bytes` bytes (even, kSmallestRecord or more), made on
// the date of `day` at `second` seconds past midnight.
std::vector<std::uint8_t> RecordOfSize(std::mt19937& rng, std::size_t bytes, const LogTime& day,
                                       std::uint32_t second) {
  const auto& app = Pick(rng, kApps);
  const auto& module = Pick(rng, kModules);
  logtest::RecordFields fields;
  const std::uint32_t kind = rng() % 10;
  fields
      .Kind(static_cast<std::uint32_t>(kind < 7   ? RecordKind::Error
                                       : kind < 9 ? RecordKind::Warning
                                                  : RecordKind::Exception))
      .Code(kDefaultErrorCode + static_cast<std::int32_t>(rng() % 500))
      .Product(u"5.2.0.118")
      .App(app.name, app.version)
      .Module(module.name, module.version);
  fields.time = {day.Year,
                 day.Month,
                 day.DayOfWeek,
                 day.Day,
                 static_cast<std::uint16_t>(second / 3600 % 24),
                 static_cast<std::uint16_t>(second / 60 % 60),
                 static_cast<std::uint16_t>(second % 60),
                 static_cast<std::uint16_t>(rng() % 1000)};

  // Code units left for message and value, terminators included.
  const std::size_t names = std::char_traits<char16_t>::length(app.name) + 1 +
                            std::char_traits<char16_t>::length(module.name) + 1;
  const std::size_t left = (bytes - kLogRecordHeaderSize) / 2 - names;
  if (left < 300) {
    fields.Message(TextOf(rng, left - 1, kMessageWords, u" "));
  } else {
    const std::size_t message = 60 + rng() % 140;
    fields.Message(TextOf(rng, message, kMessageWords, u" "))
        .Value(TextOf(rng, left - message - 2, kValueLines, u""));
  }
  return logtest::RecordBytes(fields);
}

// A log file of at most `size` bytes: the file header, then varied records
// that end exactly on a whole record. The same seed gives the same bytes.
std::vector<std::uint8_t> LogBytes(LONGLONG size, std::uint32_t seed, const LogTime& day) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  logtest::AppendBytes(bytes, &kLogFileHeader, kLogFileHeaderBytes);
  std::uint32_t second = 0;
  for (;;) {
    const std::size_t left = static_cast<std::size_t>(size) - bytes.size();
    if (left < kSmallestRecord) break;
    const std::uint32_t roll = rng() % 100;
    const std::size_t span = roll < 70   ? 800 - kSmallestRecord
                             : roll < 95 ? 2400 - kSmallestRecord
                                         : kLargestRecord - kSmallestRecord;
    std::size_t record = (kSmallestRecord + rng() % span) & ~std::size_t{1};
    // The last record takes what is left, so the file ends at `size`.
    if (left < record + kSmallestRecord) record = left & ~std::size_t{1};
    const std::vector<std::uint8_t> one = RecordOfSize(rng, record, day, second);
    logtest::AppendBytes(bytes, one.data(), one.size());
    second += 1 + rng() % 5;
  }
  return bytes;
}

// Flushed, so that no write-back of the bench's own files falls into a
// measured load or copy.
bool WriteBytes(const std::wstring& path, const std::uint8_t* data, std::size_t size) {
  UniqueFileHandle file = UniqueFileHandle::Adopt(CreateFileW(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size && FlushFileBuffers(file.get());
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

struct Figures {
  double load = 0;         // LoadLibraryW with the roll-over due
  double quietLoad = 0;    // LoadLibraryW with no roll-over due
  double copy = 0;         // CopyFileW of the day's body
  double copyFlushed = 0;  // the same copy, then flushed as the merge flushes
  double blockCopy = 0;    // one fresh block: one read, one write, one flush
  bool allKept = true;     // error.bf came out as both logs' records, nothing left out

  double OwnCost() const { return load - quietLoad; }
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

// A load soon after an unload, or after a large flush, ran up to 25 ms slower
// here: each timed load starts after the same pause, long enough for both.
double TimedLoad(const std::wstring& library, UniqueModule& module) {
  Sleep(200);
  const double start = NowSeconds();
  module.reset(LoadLibraryW(library.c_str()));
  return NowSeconds() - start;
}

Figures Measure(const std::wstring& folder, LONGLONG active, LONGLONG pending) {
  const std::wstring library = ProgramFolder() + L"\\LogError.dll";
  const std::wstring settings = folder + L"\\settings.ini";
  const std::wstring activeLog = folder + L"\\error.Profile";
  const std::wstring pendingLog = folder + L"\\error.bf";
  const std::wstring copySource = folder + L"\\copy-source.bin";
  const std::wstring copyTarget = folder + L"\\copy-target.bin";
  // The records of the settings' day onto those of the day before.
  const std::vector<std::uint8_t> day = LogBytes(active, 1, {2000, 1, 6, 1, 0, 0, 0, 0});
  const std::vector<std::uint8_t> waiting = LogBytes(pending, 2, {1999, 12, 5, 31, 0, 0, 0, 0});
  const auto merged = static_cast<LONGLONG>(waiting.size() + day.size() - kLogFileHeaderBytes);
  Figures figures;
  std::vector<double> load, copy, copyFlushed, quietLoad, blockCopy;

  for (int run = 0; run < kRuns; ++run) {
    if (!WriteBytes(activeLog, day.data(), day.size()) ||
        !WriteBytes(pendingLog, waiting.data(), waiting.size())) {
      return {};
    }
    // Today's date first: a load without a roll-over, which judges the same
    // files the roll-over load finds.
    WritePrivateProfileStringW(L"General", L"LogErrorDate", TodayDateText().text, settings.c_str());
    UniqueModule module;
    quietLoad.push_back(TimedLoad(library, module));
    if (!module || GetFileAttributesW(activeLog.c_str()) == INVALID_FILE_ATTRIBUTES) {
      printf("a roll-over ran on a quiet load\n");
      return {};
    }
    module.reset();

    WritePrivateProfileStringW(L"General", L"LogErrorDate", L"2000.01.01", settings.c_str());
    load.push_back(TimedLoad(library, module));
    if (!module || GetFileAttributesW(activeLog.c_str()) != INVALID_FILE_ATTRIBUTES) {
      printf("the roll-over did not run\n");
      return {};
    }
    module.reset();
    figures.allKept = figures.allKept && FileSize(pendingLog) == merged;

    // The merge moves the day's body: its records, without the file header.
    if (!WriteBytes(copySource, day.data() + kLogFileHeaderBytes,
                    day.size() - kLogFileHeaderBytes)) {
      return {};
    }
    DeleteFileW(copyTarget.c_str());
    double start = NowSeconds();
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
  figures.load = Median(load);
  figures.quietLoad = Median(quietLoad);
  figures.copy = Median(copy);
  figures.copyFlushed = Median(copyFlushed);
  figures.blockCopy = Median(blockCopy);
  return figures;
}

}  // namespace

int main() {
  const std::wstring folder = MakeBenchDataFolder(L"rollover-bench");
  // Each case keeps every record: pending + day's body is within the cap.
  const struct {
    const char* name;
    LONGLONG active, pending;
  } cases[] = {
      {"day's 25 MiB - 64 KiB onto 64 KiB", kCap - (64 << 10), 64 << 10},
      {"day's 12.5 MiB onto 12.5 MiB", kCap / 2, kCap / 2},
      {"day's 1 MiB onto 24 MiB", 1 << 20, 24 << 20},
      {"day's 1 MiB onto 1 MiB", 1 << 20, 1 << 20},
  };
  printf(
      "Daily roll-over: medians of %d runs, milliseconds; records of %zu bytes to about %zu KiB\n",
      kRuns, kSmallestRecord, kLargestRecord >> 10);
  printf("own = load - quiet, the roll-over's own cost; 1-block copies the day's body\n");
  printf("%-36s %7s %7s %7s %7s %8s %7s %9s\n", "case", "load", "quiet", "own", "copy", "copy+fl",
         "1-block", "own/1-blk");
  std::vector<Figures> figures;
  for (const auto& c : cases) {
    const Figures f = Measure(folder, c.active, c.pending);
    if (f.load == 0) return 1;
    printf("%-36s %7.1f %7.1f %7.1f %7.1f %8.1f %7.1f %9.2f%s\n", c.name, f.load * 1e3,
           f.quietLoad * 1e3, f.OwnCost() * 1e3, f.copy * 1e3, f.copyFlushed * 1e3,
           f.blockCopy * 1e3, f.OwnCost() / f.blockCopy,
           f.allKept ? "" : "  (error.bf not both logs whole)");
    figures.push_back(f);
  }
  // The same day's log onto a pending log 24 times larger.
  printf("cost against the pending log (own, 24 MiB / 1 MiB pending): %.2f\n",
         figures[2].OwnCost() / figures[3].OwnCost());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
