// The daily roll-over, driven by loading the library into a data folder of
// each scenario's own: the decision on the two files, the cap boundaries, the
// date check, and recovery from files that another process holds open.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Win/unique_resource.h"
#include "capture/daily_rollover.h"
#include "format/log_accounts.h"
#include "support/log_bytes_builder.h"
#include "support/log_file_view.h"
#include "support/log_library.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogOf;

constexpr LONGLONG kCap = kLogRolloverCap;
constexpr LONGLONG kMissing = -1;
constexpr wchar_t kOldDate[] = L"2000.01.01";

LONGLONG SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return kMissing;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<unsigned char> HeaderBytes() { return logtest::LogBytesBuilder().Bytes(); }

// A log file of `size` bytes: the file header (cut short below 12 bytes),
// then zeros. The roll-over moves bytes and never parses them.
void WriteSizedLog(const std::wstring& path, LONGLONG size) {
  std::vector<unsigned char> head = HeaderBytes();
  head.resize(static_cast<size_t>(std::min<LONGLONG>(size, head.size())));
  ASSERT_TRUE(WriteFileBytes(path, head));
  if (size <= static_cast<LONGLONG>(head.size())) return;
  UniqueFileHandle file = UniqueFileHandle::Adopt(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  LARGE_INTEGER end;
  end.QuadPart = size;
  ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file.get()));
}

// A log file of real records whose messages are `messages`.

// The messages of a log file that must be whole and readable.
std::vector<std::u16string> Messages(const std::wstring& path) {
  DecodedLog log = DecodeLog(ReadFileBytes(path));
  EXPECT_TRUE(log.headerValid);
  EXPECT_TRUE(log.whole);
  std::vector<std::u16string> messages;
  for (const DecodedRecord& record : log.records) messages.push_back(record.message);
  return messages;
}

using Texts = std::vector<std::u16string>;

const std::u16string kFull(LogAccountMessage(LogAccountCause::PendingFull));

class RolloverTest : public ::testing::Test {
 protected:
  struct Folder {
    TempDataFolder data;
    std::wstring Active() const { return data.File(L"error.Profile"); }
    std::wstring Pending() const { return data.File(L"error.bf"); }
    std::wstring Temp() const { return data.File(L"error.bf.tmp"); }
    std::wstring StoredDate() const { return ReadIni(data.path(), L"General", L"LogErrorDate"); }
    void StoreDate(const wchar_t* date) const {
      WriteIni(data.path(), L"General", L"LogErrorDate", date);
    }
    // One load of the library: its process entry runs the roll-over when due.
    void Load() const {
      LogLibrary library;
      ASSERT_TRUE(library.loaded());
    }
    // The roll-over of a later day.
    void LoadOnANewDay() const {
      StoreDate(kOldDate);
      Load();
    }
  };
};

TEST_F(RolloverTest, DecisionTableAndCapBoundaries) {
  const struct {
    const char* name;
    LONGLONG active, pending;
    LONGLONG wantPending;
  } rows[] = {
      {"no log files", kMissing, kMissing, kMissing},
      {"pending only", kMissing, 1000, 1000},
      {"active of exactly the cap is moved", kCap, kMissing, kCap},
      {"small active is moved", 1000, kMissing, 1000},
      {"merged file of exactly the cap", kCap - 4084, 4096, kCap},
      {"small files are merged", 1000, 2000, 2988},
      {"header-only active appends nothing", 12, 2000, 2000},
      {"active shorter than a header appends nothing", 5, 2000, 2000},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Folder folder;
    if (row.active != kMissing) WriteSizedLog(folder.Active(), row.active);
    if (row.pending != kMissing) WriteSizedLog(folder.Pending(), row.pending);
    folder.Load();
    EXPECT_FALSE(FileExists(folder.Active()));
    EXPECT_FALSE(FileExists(folder.Temp()));
    EXPECT_EQ(SizeOf(folder.Pending()), row.wantPending);
    const std::vector<unsigned char> bytes = ReadFileBytes(folder.Pending());
    if (row.wantPending >= 12 && bytes.size() >= 12) {
      const std::vector<unsigned char> header = HeaderBytes();
      EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
      // The rest is the zero fill: no second header crept in.
      EXPECT_EQ(std::count(bytes.begin() + 12, bytes.end(), 0),
                static_cast<std::ptrdiff_t>(bytes.size() - 12));
    }
    EXPECT_EQ(folder.StoredDate(), TodayText());
  }
}

// Over the cap the pending log stays whole, the day's earliest records follow
// it up to the cap, and one account counts the rest.
TEST_F(RolloverTest, OverTheCapKeepsThePendingLogAndTheDaysEarliestRecords) {
  using logtest::LogOfSize;
  using logtest::RecordsOf;
  constexpr std::size_t k64K = 64 * 1024;  // the cap holds 400 of them
  // 199 records and one 12 bytes shorter: with 200 before them, exactly the cap.
  const std::vector<unsigned char> capDay =
      LogOfSize(u'e', 1, k64K - 12, RecordsOf(LogOfSize(u'd', 199, k64K)));
  const struct {
    const char* name;
    std::vector<unsigned char> pending, active;
    std::size_t wantDayRecords;  // of the active log's, from its first
    std::size_t wantLeftOut;
  } rows[] = {
      {"day's log alone over the cap", {}, LogOfSize(u'd', 401, k64K), 399, 2},
      {"both over the cap", LogOfSize(u'p', 300, k64K), LogOfSize(u'd', 120, k64K), 99, 21},
      {"sum of exactly the cap", LogOfSize(u'p', 200, k64K), capDay, 200, 0},
      {"one small record over", LogOfSize(u'p', 200, k64K),
       LogOfSize(u'f', 1, 300, RecordsOf(capDay)), 199, 2},
  };
  const std::u16string full(LogAccountMessage(LogAccountCause::PendingFull));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Folder folder;
    if (!row.pending.empty()) {
      ASSERT_TRUE(WriteFileBytes(folder.Pending(), row.pending));
    }
    ASSERT_TRUE(WriteFileBytes(folder.Active(), row.active));
    folder.Load();
    const std::vector<unsigned char> merged = ReadFileBytes(folder.Pending());
    EXPECT_LE(merged.size(), static_cast<std::size_t>(kCap));
    EXPECT_TRUE(std::equal(row.pending.begin(), row.pending.end(), merged.begin()));
    const DecodedLog log = DecodeLog(merged);
    ASSERT_TRUE(log.whole);
    const DecodedLog day = DecodeLog(row.active);
    const std::size_t nPending = DecodeLog(row.pending).records.size();
    ASSERT_EQ(log.records.size(), nPending + row.wantDayRecords + (row.wantLeftOut != 0));
    for (std::size_t i = 0; i < row.wantDayRecords; ++i) {
      EXPECT_EQ(log.records[nPending + i].message, day.records[i].message);
    }
    if (row.wantLeftOut != 0) {
      const DecodedRecord& account = log.records.back();
      EXPECT_EQ(account.message, full);
      EXPECT_EQ(account.header.Kind, static_cast<std::uint32_t>(RecordKind::Warning));
      std::size_t nLeftBytes = 0;
      for (std::size_t i = row.wantDayRecords; i < day.records.size(); ++i) {
        nLeftBytes += 248 + day.records[i].header.StringBytes;
      }
      EXPECT_EQ(account.value, LeftOutText(row.wantLeftOut, nLeftBytes));
    }
    EXPECT_FALSE(FileExists(folder.Active()));
    EXPECT_FALSE(FileExists(folder.Temp()));
  }
}

TEST_F(RolloverTest, MergedFileHasOneHeaderAndOlderRecordsFirst) {
  Folder folder;
  ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1", u"p2"})));
  ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1", u"a2", u"a3"})));
  folder.Load();
  EXPECT_EQ(Messages(folder.Pending()), (Texts{u"p1", u"p2", u"a1", u"a2", u"a3"}));
  EXPECT_FALSE(FileExists(folder.Active()));
  EXPECT_FALSE(FileExists(folder.Temp()));
}

TEST_F(RolloverTest, OddDamageAtTheEndOfThePendingLogLeavesTheDayReadable) {
  Folder folder;
  std::vector<unsigned char> pending = LogOf({u"p1"});
  pending.insert(pending.end(), 301, 0x41);  // junk longer than any record header
  ASSERT_TRUE(WriteFileBytes(folder.Pending(), pending));
  const std::vector<unsigned char> active = LogOf({u"a1", u"a2"});
  ASSERT_TRUE(WriteFileBytes(folder.Active(), active));
  folder.Load();
  // The day's records follow at an even offset, where readers look for them.
  const std::vector<unsigned char> merged = ReadFileBytes(folder.Pending());
  EXPECT_EQ(merged.size() % 2, 0u);
  EXPECT_TRUE(std::equal(active.rbegin(), active.rend() - 12, merged.rbegin()));
}

TEST_F(RolloverTest, DateOfTodayTouchesNothingAndIsNotRewritten) {
  Folder folder;
  ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1"})));
  ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1"})));
  // Spaced as the settings store never writes it, so a rewrite would show.
  const std::wstring today = TodayText();
  const std::string ini =
      "[General]\r\nLogErrorDate = " + std::string(today.begin(), today.end()) + "\r\n";
  const std::wstring iniPath = folder.data.File(L"settings.ini");
  ASSERT_TRUE(WriteFileBytes(iniPath, std::vector<unsigned char>(ini.begin(), ini.end())));
  ASSERT_EQ(folder.StoredDate(), TodayText());
  const auto pending = ReadFileBytes(folder.Pending());
  const auto active = ReadFileBytes(folder.Active());

  folder.Load();
  EXPECT_EQ(ReadFileBytes(folder.Pending()), pending);
  EXPECT_EQ(ReadFileBytes(folder.Active()), active);
  EXPECT_EQ(ReadFileBytes(iniPath), std::vector<unsigned char>(ini.begin(), ini.end()));
}

TEST_F(RolloverTest, AnyOtherStoredDateRunsTheRollOver) {
  const wchar_t* stored[] = {kOldDate, L"2999.12.31", L"garbage", L"", nullptr};
  for (const wchar_t* date : stored) {
    SCOPED_TRACE(date ? std::string(date, date + wcslen(date)) : "missing");
    Folder folder;
    if (date != nullptr) folder.StoreDate(date);
    ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1"})));
    folder.Load();
    EXPECT_EQ(Messages(folder.Pending()), Texts{u"a1"});
    EXPECT_EQ(folder.StoredDate(), TodayText());
  }
}

TEST_F(RolloverTest, DatesAreYearThenTwoDigitMonthAndDay) {
  const struct {
    unsigned year, month, day;
    const wchar_t* text;
  } rows[] = {
      {2011, 7, 26, L"2011.07.26"}, {2024, 1, 5, L"2024.01.05"}, {2024, 12, 31, L"2024.12.31"},
      {2025, 10, 1, L"2025.10.01"}, {999, 1, 1, L"999.01.01"},   {30827, 12, 31, L"30827.12.31"},
  };
  for (const auto& row : rows) {
    EXPECT_STREQ(FormatDateText(row.year, row.month, row.day).text, row.text);
  }
}

// A writer holding the active log file makes its move fail: the records stay
// where they are and the next day's roll-over brings them.
TEST_F(RolloverTest, ActiveLogHeldByAWriterIsMergedOnTheNextDay) {
  for (bool withPending : {true, false}) {
    SCOPED_TRACE(withPending ? "with pending" : "without pending");
    Folder folder;
    if (withPending) {
      ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1"})));
    }
    ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1", u"a2"})));
    const auto active = ReadFileBytes(folder.Active());
    {
      UniqueFileHandle writer = UniqueFileHandle::Adopt(
          CreateFileW(folder.Active().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(writer);
      folder.Load();
    }
    EXPECT_EQ(ReadFileBytes(folder.Active()), active);
    EXPECT_FALSE(FileExists(folder.Temp()));
    EXPECT_EQ(FileExists(folder.Pending()), withPending);
    EXPECT_EQ(folder.StoredDate(), TodayText());

    folder.LoadOnANewDay();
    EXPECT_EQ(Messages(folder.Pending()),
              (withPending ? Texts{u"p1", u"a1", u"a2"} : Texts{u"a1", u"a2"}));
    EXPECT_FALSE(FileExists(folder.Active()));
  }
}

// A reader holding the pending log file makes the append fail after the move:
// the records wait in the temporary file, which must not block later days.
TEST_F(RolloverTest, TemporaryFileLeftByAHeldPendingLogComesInFirst) {
  Folder folder;
  ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1"})));
  ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"day1"})));
  const auto pending = ReadFileBytes(folder.Pending());
  const auto day1 = ReadFileBytes(folder.Active());
  {
    UniqueFileHandle reader = UniqueFileHandle::Adopt(
        CreateFileW(folder.Pending().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    folder.Load();
    EXPECT_EQ(ReadFileBytes(folder.Temp()), day1);
    EXPECT_FALSE(FileExists(folder.Active()));
    EXPECT_EQ(ReadFileBytes(folder.Pending()), pending);
    EXPECT_EQ(folder.StoredDate(), TodayText());

    // Still held the next day: nothing moves, nothing is lost.
    ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"day2"})));
    folder.LoadOnANewDay();
    EXPECT_EQ(ReadFileBytes(folder.Temp()), day1);
    EXPECT_EQ(Messages(folder.Active()), Texts{u"day2"});
    EXPECT_EQ(ReadFileBytes(folder.Pending()), pending);
  }
  folder.LoadOnANewDay();
  EXPECT_EQ(Messages(folder.Pending()), (Texts{u"p1", u"day1", u"day2"}));
  EXPECT_FALSE(FileExists(folder.Temp()));
  EXPECT_FALSE(FileExists(folder.Active()));
}

TEST_F(RolloverTest, LeftoverTemporaryFileFollowsTheCapRule) {
  const struct {
    const char* name;
    LONGLONG temp;  // zero-filled; kMissing for a file of records
    bool withPending;
    Texts want;
  } rows[] = {
      {"records, no pending: moved into place", kMissing, false, {u"t1", u"a1"}},
      {"records appended to pending", kMissing, true, {u"p1", u"t1", u"a1"}},
      // Damage is no record, and what does not fit is counted all the same.
      {"over the cap: what fits, and an account", kCap + 1, true, {u"p1", kFull, u"a1"}},
      {"with pending over the cap: the pending log kept", kCap - 10, true, {u"p1", kFull, u"a1"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Folder folder;
    if (row.temp == kMissing) {
      ASSERT_TRUE(WriteFileBytes(folder.Temp(), LogOf({u"t1"})));
    } else {
      WriteSizedLog(folder.Temp(), row.temp);
    }
    if (row.withPending) {
      ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1"})));
    }
    ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1"})));
    folder.Load();
    EXPECT_EQ(Messages(folder.Pending()), row.want);
    EXPECT_FALSE(FileExists(folder.Temp()));
    EXPECT_FALSE(FileExists(folder.Active()));
  }
}

TEST_F(RolloverTest, TemporaryFileShorterThanAHeaderIsDeleted) {
  for (bool withPending : {true, false}) {
    for (size_t size = 0; size < 12; ++size) {
      SCOPED_TRACE(testing::Message() << size << " bytes, pending " << withPending);
      Folder folder;
      std::vector<unsigned char> head = HeaderBytes();
      head.resize(size);
      ASSERT_TRUE(WriteFileBytes(folder.Temp(), head));
      if (withPending) {
        ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1"})));
      }
      ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1"})));
      folder.Load();
      EXPECT_FALSE(FileExists(folder.Temp()));
      EXPECT_EQ(Messages(folder.Pending()), (withPending ? Texts{u"p1", u"a1"} : Texts{u"a1"}));
    }
  }
}

// Shorter than its file header (a header write cut short), a pending log is
// as good as empty.
TEST_F(RolloverTest, EmptyPendingLogGetsAHeaderBeforeTheRecords) {
  for (size_t pendingSize : {0, 1, 11}) {
    for (bool withTemp : {false, true}) {
      SCOPED_TRACE(testing::Message() << pendingSize << " bytes, "
                                      << (withTemp ? "leftover temporary file" : "active log"));
      Folder folder;
      std::vector<unsigned char> pending = HeaderBytes();
      pending.resize(pendingSize);
      ASSERT_TRUE(WriteFileBytes(folder.Pending(), pending));
      if (withTemp) {
        ASSERT_TRUE(WriteFileBytes(folder.Temp(), LogOf({u"t1"})));
      }
      ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1", u"a2"})));
      folder.Load();
      EXPECT_EQ(Messages(folder.Pending()),
                (withTemp ? Texts{u"t1", u"a1", u"a2"} : Texts{u"a1", u"a2"}));
    }
  }
}

}  // namespace

// A pending log larger than the library reads (sparse here: the file system
// stores none of its zeros) is left as it is, and the day waits staged.
TEST_F(RolloverTest, PendingLogLargerThanTheLibraryReadsIsLeftWhole) {
  constexpr LONGLONG kHuge = (LONGLONG{1} << 32) + 580;
  Folder folder;
  WriteSizedLog(folder.Pending(), kHuge);
  ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1"})));
  folder.Load();
  EXPECT_EQ(SizeOf(folder.Pending()), kHuge);
  EXPECT_EQ(Messages(folder.Temp()), Texts{u"a1"});
  folder.LoadOnANewDay();
  EXPECT_EQ(SizeOf(folder.Pending()), kHuge);
  EXPECT_EQ(Messages(folder.Temp()), Texts{u"a1"});
}
