// An append's journal reads back as written, in either version, and anything
// else beside the pending log reads as no journal at all; the staged file it
// names is told from any other by its size and its first and last bytes.
#include <gtest/gtest.h>

#include <vector>

#include "format/log_append_journal.h"

using namespace suite;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encoded(const LogAppendJournal& journal) {
  const auto encoded = EncodeLogAppendJournal(journal);
  return Bytes(encoded.begin(), encoded.end());
}

TEST(LogAppendJournalTest, ReadsBackOnlyWhatWasWritten) {
  for (const std::optional<LogStagedMark> staged :
       {std::optional<LogStagedMark>(),
        std::optional(LogStagedMark{70000, 0x0123456789ABCDEFull})}) {
    SCOPED_TRACE(staged ? "naming its staged file" : "the first version");
    const LogAppendJournal written{26214400 - 4096, 26214400, staged};
    const Bytes whole = Encoded(written);
    EXPECT_EQ(whole.size(), staged ? kLogAppendJournalBytes : 32u);
    Bytes changed = whole;
    changed[12] ^= 1;
    Bytes longer = whole;
    longer.push_back(0);
    Bytes otherVersion = whole;
    otherVersion[4] = staged ? 1 : 2;
    const struct {
      const char* name;
      Bytes bytes;
      bool bDecodes;
    } rows[] = {
        {"as written", whole, true},
        {"cut short", Bytes(whole.begin(), whole.end() - 1), false},
        {"one byte more", longer, false},
        {"a length changed", changed, false},
        {"the other version's number", otherVersion, false},
        {"an end before its start", Encoded({10, 9, staged}), false},
        {"empty", {}, false},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(row.name);
      const auto journal = DecodeLogAppendJournal(row.bytes.data(), row.bytes.size());
      ASSERT_EQ(journal.has_value(), row.bDecodes);
      if (journal) {
        EXPECT_EQ(journal->nBase, written.nBase);
        EXPECT_EQ(journal->nEnd, written.nEnd);
        EXPECT_EQ(journal->staged, staged);
        EXPECT_TRUE(journal->Encloses(written.nBase) && journal->Encloses(written.nEnd));
        EXPECT_FALSE(journal->Encloses(written.nBase - 1) || journal->Encloses(written.nEnd + 1));
        // The first version names no staged file: any is its own.
        EXPECT_TRUE(journal->Names({70000, 0x0123456789ABCDEFull}));
        EXPECT_EQ(journal->Names({70000, 1}), !staged);
      }
    }
  }
}

TEST(LogAppendJournalTest, TheMarkShowsAnyChangeOfTheStagedFilesEnds) {
  const std::size_t nLarge = 3 * kLogStagedSampleBytes;
  Bytes large(nLarge);
  for (std::size_t i = 0; i < nLarge; ++i) large[i] = static_cast<std::uint8_t>(i % 251);
  const LogStagedMark mark = LogStagedMarkOf(large.data(), large.size());
  const struct {
    const char* name;
    std::size_t nChangedAt;
    bool bShows;
  } rows[] = {
      {"its first byte", 0, true},
      {"the last byte of its head", kLogStagedSampleBytes - 1, true},
      {"between head and tail", kLogStagedSampleBytes + 5, false},
      {"the first byte of its tail", nLarge - kLogStagedSampleBytes, true},
      {"its last byte", nLarge - 1, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes changed = large;
    changed[row.nChangedAt] ^= 0x40;
    EXPECT_EQ(LogStagedMarkOf(changed.data(), changed.size()) != mark, row.bShows);
  }
  // A file shorter than two samples is covered once, byte for byte.
  const LogStagedSample small = LogStagedSampleOf(kLogStagedSampleBytes + 10);
  EXPECT_EQ(small.nHeadBytes, kLogStagedSampleBytes);
  EXPECT_EQ(small.nTailOffset, kLogStagedSampleBytes);
  EXPECT_EQ(small.nTailBytes, 10u);
  EXPECT_NE(LogStagedMarkOf(large.data(), nLarge - 2), mark);
}

}  // namespace
