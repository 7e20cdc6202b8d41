// Where a log file's whole records end: a torn last record is cut, damage in
// the middle never is, and judging from the tail agrees with the walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/log_whole_records.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using Bytes = std::vector<std::uint8_t>;
using logtest::LogBytesBuilder;
using logtest::RecordFields;

TEST(LogWholeRecordsTest, CutsOnlyATornTail) {
  const Bytes two = LogBytesBuilder().Record().Record().Bytes();
  const std::size_t nRecord = (two.size() - kLogFileHeaderBytes) / 2;
  // A record longer than the tail that is judged without the walk.
  const RecordFields longRecord = RecordFields().Message(std::u16string(40000, u'x'));
  const struct {
    const char* name;
    Bytes bytes;
    std::size_t nWholeEnd;
    bool bTailShowsIt;  // EndsWithWholeRecord proves the file whole
  } rows[] = {
      {"shorter than a file header", Bytes(two.begin(), two.begin() + 5), 5, false},
      {"a file header alone", Bytes(two.begin(), two.begin() + 12), 12, false},
      {"whole records", two, two.size(), true},
      {"the last record torn", LogBytesBuilder().Record().Record().DropTail(20).Bytes(),
       12 + nRecord, false},
      {"an odd byte behind them", LogBytesBuilder().Record().Raw({0x41}).Bytes(), 12 + nRecord,
       false},
      {"damage in the middle", LogBytesBuilder().Record().Raw(Bytes(30, 0xEE)).Record().Bytes(),
       12 + 2 * nRecord + 30, true},
      {"a last record longer than the tail",
       LogBytesBuilder().Record().Record(longRecord).Record(longRecord).Bytes(),
       LogBytesBuilder().Record().Record(longRecord).Record(longRecord).Bytes().size(), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::uint8_t* pData = row.bytes.data();
    const std::size_t nBytes = row.bytes.size();
    EXPECT_EQ(WholeRecordsEnd(pData, nBytes), row.nWholeEnd);
    EXPECT_EQ(WholeRecordsEndFromTail(pData, nBytes), row.nWholeEnd);
    const std::size_t nStart = LogTailStart(nBytes);
    EXPECT_EQ(nStart < nBytes && EndsWithWholeRecord(pData + nStart, nBytes - nStart),
              row.bTailShowsIt);
  }
}

}  // namespace
