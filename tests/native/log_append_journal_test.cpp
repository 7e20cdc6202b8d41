// An append's journal reads back as written, and anything else beside the
// pending log reads as no journal at all.
#include <gtest/gtest.h>

#include <vector>

#include "format/log_append_journal.h"

using namespace suite;

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LogAppendJournalTest, ReadsBackOnlyWhatWasWritten) {
  const LogAppendJournal written{26214400 - 4096, 26214400};
  const auto encoded = EncodeLogAppendJournal(written);
  const Bytes whole(encoded.begin(), encoded.end());
  Bytes changed = whole;
  changed[12] ^= 1;
  Bytes longer = whole;
  longer.push_back(0);
  const LogAppendJournal backwards{10, 9};
  const auto backwardsBytes = EncodeLogAppendJournal(backwards);
  const struct {
    const char* name;
    Bytes bytes;
    bool bDecodes;
  } rows[] = {
      {"as written", whole, true},
      {"cut short", Bytes(whole.begin(), whole.end() - 1), false},
      {"one byte more", longer, false},
      {"a length changed", changed, false},
      {"an end before its start", Bytes(backwardsBytes.begin(), backwardsBytes.end()), false},
      {"empty", {}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto journal = DecodeLogAppendJournal(row.bytes.data(), row.bytes.size());
    ASSERT_EQ(journal.has_value(), row.bDecodes);
    if (journal) {
      EXPECT_EQ(journal->nBase, written.nBase);
      EXPECT_EQ(journal->nEnd, written.nEnd);
      EXPECT_TRUE(journal->Encloses(written.nBase) && journal->Encloses(written.nEnd));
      EXPECT_FALSE(journal->Encloses(written.nBase - 1) || journal->Encloses(written.nEnd + 1));
    }
  }
}

}  // namespace
