// One writer's turn with the day's log, on a file of the test's own: which
// accounts it writes, when it takes the day's log to be at its cap, and what
// stays due for the next turn. The count of drops is set through its section.
#include <windows.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "Win/folder_mutex.h"
#include "allocation_fault.h"
#include "capture/active_log_append.h"
#include "capture/log_account_state.h"
#include "support/log_bytes_builder.h"
#include "support/log_file_view.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using Bytes = std::vector<unsigned char>;
using Accounts = std::vector<std::pair<std::int32_t, std::u16string>>;

const LogAccountIdentity kIdentity = {u"1.0", u"2.0", u"Player", u"3.0", u"LogError.dll"};
constexpr auto kCap = static_cast<std::int32_t>(LogAccountCause::DayLogCap);
constexpr auto kDrops = static_cast<std::int32_t>(LogAccountCause::WriterDrops);

// A day's log that ends `nBelowLimit` bytes below the records' limit.
Bytes LogEndingBelowLimit(std::size_t nBelowLimit) {
  return logtest::LogOfSize(u'a', 1, static_cast<std::size_t>(kLogRecordLimit) - 12 - nBelowLimit);
}

Bytes WithCapAccount(const Bytes& log, std::uint32_t nCount) {
  return logtest::RecordsOf(log)
      .Raw(LogAccountRecord(kIdentity, LogAccountCause::DayLogCap, CapCountText(nCount), {}))
      .Bytes();
}

// The shared count of drops as every process of the folder sees it.
class DropsSection {
 public:
  explicit DropsSection(const std::wstring& folder) {
    m_section = UniqueKernelHandle::Adopt(
        OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE,
                         FolderMutexName(kLogAccountStatePurpose, folder.c_str()).c_str()));
    m_view = UniqueMappedView::Adopt(MapViewOfFile(m_section.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  }
  LONG* dropped() const { return static_cast<LONG*>(m_view.get()); }

 private:
  UniqueKernelHandle m_section;
  UniqueMappedView m_view;
};

TEST(TurnTest, AccountsGoWhereTheyFitAndTheCapIsTakenOnlyWhenReached) {
  const Bytes small = logtest::LogOf({u"a1"});
  const Bytes atCap = WithCapAccount(LogEndingBelowLimit(1000), 3);
  const struct {
    const char* name;
    Bytes before;
    LONG nDropsDue;
    int nMoreDrops = 0;       // counted through CountDrop on top
    std::size_t nRecord = 0;  // message characters of the turn's record; 0 for none
    bool bReadable = true;
    int nFailAllocation = 0;
    AppendOutcome want;
    Accounts wantAccounts;  // every account in the file afterwards
    LONG nWantDue;
  } rows[] = {
      // clang-format off
      {"accounts due, memory short", small, 1, 0, 0, true, 1,
       AppendOutcome::Appended, {}, 1},
      {"accounts due, they fit", small, 1, 0, 0, true, 0,
       AppendOutcome::Appended, {{kDrops, u"1"}}, 0},
      {"accounts due, no room left below the limit", LogEndingBelowLimit(100), 2, 0, 0, true, 0,
       AppendOutcome::Appended, {{kCap, CapCountText(2)}}, 0},
      {"a count that saturated", small, LONG_MAX - 1, 2, 3, true, 0,
       AppendOutcome::Appended, {{kDrops, u"2147483647 or more"}}, 0},
      {"a count an older build wrapped", small, LONG_MIN + 3, 1, 3, true, 0,
       AppendOutcome::Appended, {{kDrops, u"2147483647 or more"}}, 0},
      {"at the cap, no hint", atCap, 1, 0, 1000, true, 0,
       AppendOutcome::Refused, {{kCap, CapCountText(5)}}, 0},
      {"at the cap, no hint, the log unreadable", atCap, 1, 0, 1000, false, 0,
       AppendOutcome::Failed, {{kCap, CapCountText(3)}}, 1},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder folder;
    const std::wstring path = folder.File(L"error.Profile");
    ASSERT_TRUE(WriteFileBytes(path, row.before));
    LogAccountState state;
    state.Open(path.c_str());
    DropsSection section(folder.path());
    ASSERT_NE(section.dropped(), nullptr);
    *section.dropped() = row.nDropsDue;
    for (int i = 0; i < row.nMoreDrops; ++i) state.CountDrop();

    const Bytes record =
        logtest::RecordBytes(logtest::RecordFields().Message(std::u16string(row.nRecord, u'n')));
    bool bTailWhole = true;
    AppendOutcome outcome = AppendOutcome::Failed;
    {
      const DWORD nAccess = GENERIC_WRITE | (row.bReadable ? GENERIC_READ : 0);
      UniqueFileHandle file = UniqueFileHandle::Adopt(
          CreateFileW(path.c_str(), nAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file);
      const auto nEnd = static_cast<LONGLONG>(row.before.size());
      const ActiveLogTurn turn = {file.get(), nEnd, nEnd, 0};
      logtest::FailingAllocation fault(row.nFailAllocation);
      outcome = AppendInTurn(
          turn, row.nRecord != 0 ? reinterpret_cast<const std::byte*>(record.data()) : nullptr,
          row.nRecord != 0 ? record.size() : 0, state, kIdentity, bTailWhole);
      EXPECT_EQ(fault.failed(), row.nFailAllocation != 0);
    }
    EXPECT_EQ(outcome, row.want);
    EXPECT_TRUE(bTailWhole);
    EXPECT_EQ(state.Dropped(), row.nWantDue);

    const DecodedLog log = DecodeLog(ReadFileBytes(path));
    EXPECT_TRUE(log.whole);
    Accounts accounts;
    std::size_t nOthers = 0;
    for (const DecodedRecord& r : log.records) {
      if (r.header.ErrorCode == kCap || r.header.ErrorCode == kDrops) {
        accounts.emplace_back(r.header.ErrorCode, r.value.value_or(u""));
      } else {
        ++nOthers;
      }
    }
    EXPECT_EQ(accounts, row.wantAccounts);
    const bool bKept = row.nRecord != 0 && outcome == AppendOutcome::Appended;
    EXPECT_EQ(nOthers, DecodeLog(row.before).records.size() - (row.before == atCap ? 1 : 0) +
                           (bKept ? 1 : 0));
  }
}

}  // namespace
