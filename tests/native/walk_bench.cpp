// Times the record walk over full-size (25 MiB) buffers: damage of several
// kinds, which the walk must resynchronise through in linear time, and a file
// of whole records for comparison. Optimised and without sanitizers; prints
// the best of 5 rounds. Not a test: see docs/performance.md.
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "format/log_record_walk.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using logtest::AppendBytes;
using logtest::LogBytesBuilder;
using logtest::RecordBytes;
using logtest::RecordFields;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSize = std::size_t{25} << 20;

Bytes RandomJunk() {
  Bytes bytes(kSize);
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

// Every 256 bytes a record that passes every strict check, then junk: each
// is a restart candidate that fails only on what follows it.
Bytes NearMissRecords() {
  Bytes piece = RecordBytes(RecordFields().App(u"A").Module(u"M").Message(u"m"));
  piece.resize(256, 0x41);
  Bytes bytes;
  bytes.reserve(kSize);
  while (bytes.size() + piece.size() <= kSize) AppendBytes(bytes, piece.data(), piece.size());
  return bytes;
}

// F8 00 00 00 04 00 00 00 01 00 00 00 repeated: header size, format tag and
// kind pass at every twelfth offset.
Bytes HeaderFakes() {
  const std::uint8_t pattern[12] = {0xF8, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
  Bytes bytes(kSize);
  for (std::size_t i = 0; i < kSize; ++i) bytes[i] = pattern[i % 12];
  return bytes;
}

Bytes WholeRecords() {
  const Bytes record = RecordBytes(RecordFields().Message(u"Failed to open an item"));
  Bytes bytes;
  bytes.reserve(kSize);
  while (bytes.size() + record.size() <= kSize) AppendBytes(bytes, record.data(), record.size());
  return bytes;
}

}  // namespace

int main() {
  const std::pair<const char*, Bytes> buffers[] = {
      {"zeros", Bytes(kSize, 0)},
      {"random junk", RandomJunk()},
      {"near-miss records", NearMissRecords()},
      {"header fakes", HeaderFakes()},
      {"whole records", WholeRecords()},
  };
  const Bytes header = LogBytesBuilder().Bytes();
  for (const auto& [name, body] : buffers) {
    // Behind a known file header, and without one (the walk then searches
    // from offset 0).
    for (bool bHeader : {true, false}) {
      Bytes bytes = bHeader ? header : Bytes();
      AppendBytes(bytes, body.data(), body.size());
      double best = 1e9;
      std::size_t nRecords = 0, nSkipped = 0;
      for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        LogRecordWalk walk(bytes.data(), bytes.size());
        LogRecordView record;
        while (walk.Next(record) != LogWalkStep::End) {
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() < best) best = elapsed.count();
        nRecords = walk.RecordCount();
        nSkipped = walk.SkippedByteCount();
      }
      std::printf("%-18s %-16s %9zu bytes: %7.1f ms  (%zu records, %zu bytes skipped)\n", name,
                  bHeader ? "behind a header" : "no file header", bytes.size(), best * 1e3,
                  nRecords, nSkipped);
    }
  }
  return 0;
}
