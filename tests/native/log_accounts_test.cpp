// Account records read back as written, and the roll-over's merge plan: what
// it keeps of a day's log beside a pending log, and what it counts instead.
#include <gtest/gtest.h>

#include <vector>

#include "format/log_accounts.h"
#include "format/log_merge_plan.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using Bytes = std::vector<std::uint8_t>;

const LogAccountIdentity kIdentity = {u"1.0", u"2.0", u"Player", u"3.0", u"LogError.dll"};
constexpr std::size_t kRecord = 312;  // a record of the builder's default fields

Bytes Records(std::size_t count, logtest::LogBytesBuilder builder = {}) {
  for (std::size_t i = 0; i < count; ++i) builder.Record();
  return builder.Bytes();
}

Bytes Account(LogAccountCause cause, std::u16string_view value) {
  return LogAccountRecord(kIdentity, cause, value, LogTime{2026, 12, 3, 9, 8, 7, 6, 5});
}

TEST(LogAccountsTest, EveryAccountReadsBackItsCauseAndCount) {
  const struct {
    LogAccountCause cause;
    std::u16string value;
    std::optional<std::uint64_t> notKept;
  } rows[] = {
      {LogAccountCause::DayLogCap, CapCountText(4294967295u), 4294967295u},
      {LogAccountCause::WriterDrops, CountText(7), 7},
      {LogAccountCause::WriterDrops, DropCountText(2147483647, true), 2147483647},
      {LogAccountCause::DayLogCap, CapCountText(7) + u" or more", std::nullopt},
      {LogAccountCause::PendingFull, LeftOutText(12, 345678), 12},
      {LogAccountCause::TornRecord, CountText(268), 1},
      {LogAccountCause::PendingFull, u"12 records", std::nullopt},
      {LogAccountCause::WriterDrops, u"-1", std::nullopt},
      {LogAccountCause::DayLogCap, u"99999999999999999999", std::nullopt},
  };
  for (const auto& row : rows) {
    const Bytes bytes = logtest::LogBytesBuilder().Raw(Account(row.cause, row.value)).Bytes();
    EXPECT_LE(bytes.size() - 12, LogAccountRecordMaxBytes(kIdentity));
    LogRecordWalk walk(bytes.data(), bytes.size());
    LogRecordView record;
    ASSERT_EQ(walk.Next(record), LogWalkStep::Record);
    EXPECT_EQ(LogAccountCauseOf(record), row.cause);
    EXPECT_EQ(LogAccountRecordsNotKept(row.cause, record.value), row.notKept);
  }
  // The same code with another message, or another kind, is an ordinary record.
  for (const auto& fields : {logtest::RecordFields().Kind(2).Code(10902).Message(u"Busy"),
                             logtest::RecordFields().Kind(1).Code(10902).Message(std::u16string(
                                 LogAccountMessage(LogAccountCause::WriterDrops)))}) {
    const Bytes bytes = logtest::LogBytesBuilder().Record(fields).Bytes();
    LogRecordWalk walk(bytes.data(), bytes.size());
    LogRecordView record;
    ASSERT_EQ(walk.Next(record), LogWalkStep::Record);
    EXPECT_FALSE(LogAccountCauseOf(record));
  }
}

TEST(LogMergePlanTest, KeepsThePendingLogAndTheEarliestRecordsThatFit) {
  const std::size_t kAccountBytes = LogAccountRecordMaxBytes(kIdentity);
  const Bytes account = Account(LogAccountCause::DayLogCap, CapCountText(3));
  const Bytes pending = Records(2);
  const Bytes dayWithAccount =
      logtest::LogBytesBuilder().Record().Record().Record().Raw(account).Bytes();
  const std::size_t kBoth = 12 + 5 * kRecord;
  const struct {
    const char* name;
    Bytes pending, staged;
    std::int64_t cap;
    bool wait, fresh;
    std::vector<LogByteSpan> spans;
    std::uint64_t leftOut, torn;
  } rows[] = {
      {"all fit, to the byte", pending, Records(3), kBoth, false, false, {{12, 3 * kRecord}}, 0, 0},
      {"one byte short: the last record and its account's room",
       pending,
       Records(3),
       kBoth - 1,
       false,
       false,
       {{12, kRecord}},
       2,
       0},
      {"no pending log", {}, Records(3), 12 + 3 * kRecord - 1, false, true, {{12, kRecord}}, 2, 0},
      {"an account of the day stays, wherever it is",
       pending,
       dayWithAccount,
       static_cast<std::int64_t>(kBoth + account.size() - 1),
       false,
       false,
       {{12, kRecord}, {12 + 3 * kRecord, account.size()}},
       2,
       0},
      {"torn tails of both are cut and counted",
       logtest::LogBytesBuilder().Record().Record().DropTail(20).Bytes(),
       logtest::LogBytesBuilder().Record().Record().DropTail(20).Bytes(),
       1 << 20,
       false,
       false,
       {{12, kRecord}},
       0,
       2 * (kRecord - 20)},
      {"no room even for the accounts: the day waits",
       pending,
       Records(1),
       12 + 2 * kRecord + 100,
       true,
       false,
       {},
       0,
       0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const LogMergePlan plan =
        PlanLogMerge(row.pending.empty() ? nullptr : row.pending.data(), row.pending.size(),
                     row.staged.data(), row.staged.size(), kAccountBytes, row.cap);
    EXPECT_EQ(plan.bWait, row.wait);
    EXPECT_EQ(plan.bFreshHeader, row.fresh);
    ASSERT_EQ(plan.staged.size(), row.spans.size());
    for (std::size_t i = 0; i < row.spans.size(); ++i) {
      EXPECT_EQ(plan.staged[i].nOffset, row.spans[i].nOffset);
      EXPECT_EQ(plan.staged[i].nBytes, row.spans[i].nBytes);
    }
    EXPECT_EQ(plan.nRecordsLeftOut, row.leftOut);
    EXPECT_EQ(plan.nBytesLeftOut, row.leftOut * kRecord);
    EXPECT_EQ(plan.nTornBytes, row.torn);
  }
}

}  // namespace
