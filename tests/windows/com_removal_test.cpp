// What MarkReportSent removes: nothing unless this object delivered a report,
// and never what a removal that died left beside the pending log file.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "com_test_helpers.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogOf;

using Bytes = std::vector<unsigned char>;

class RemovalTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.loaded()); }
  std::wstring Pending() const { return m_folder.File(L"error.bf"); }

  TempDataFolder m_folder;
  ComApartment m_apartment;
  ComServer m_server;
};

TEST_F(RemovalTest, WithoutADeliveredReportNothingIsRemoved) {
  const Bytes records = LogOf({u"r1", u"r2"});
  const std::wstring saveFolder = m_folder.File(L"saved");
  ASSERT_TRUE(CreateDirectoryW(saveFolder.c_str(), nullptr));
  const struct {
    const char* name;
    Bytes file;
    std::function<void(IKRLogSender*)> before;
  } rows[] = {
      {"no build asked", records,
       [](IKRLogSender* sender) {
         UniqueBstr report;
         EXPECT_EQ(sender->GetReport(report.put(), 0), 0);
       }},
      {"saved, not sent", records,
       [&saveFolder](IKRLogSender* sender) {
         UniqueBstr folder = UniqueBstr::Adopt(SysAllocString(saveFolder.c_str()));
         EXPECT_EQ(sender->SaveReport(folder.get()), S_OK);
       }},
      {"file of another version",
       LogOf({u"r1"}, logtest::LogBytesBuilder(LogFileHeader{kLogFileMagic, 2, 1})),
       [](IKRLogSender* sender) {
         UniqueBstr report;
         EXPECT_EQ(sender->GetReport(report.put(), 1), 0);
       }},
      // The file is read, but the report cannot be built without an apartment.
      {"asked on a thread outside any apartment", records,
       [](IKRLogSender* sender) {
         std::thread([sender] {
           UniqueBstr report;
           EXPECT_EQ(sender->GetReport(report.put(), 1), 0);
         }).join();
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteIni(m_folder.path(), L"DateMarks", L"SendErrorDate", nullptr);
    ASSERT_TRUE(WriteFileBytes(Pending(), row.file));
    ComPtr<IKRLogSender> sender = m_server.CreateSender();
    row.before(sender.get());
    EXPECT_EQ(sender->MarkReportSent(), S_OK);
    EXPECT_EQ(ReadFileBytes(Pending()), row.file);
    EXPECT_EQ(ReadIni(m_folder.path(), L"DateMarks", L"SendErrorDate"), TodayText());
  }
}

TEST_F(RemovalTest, SideFileLeftByADeadRemovalIsDeletedNotAppended) {
  ASSERT_TRUE(WriteFileBytes(Pending(), LogOf({u"r1"})));
  ComPtr<IKRLogSender> sender = m_server.CreateSender();
  UniqueBstr report;
  ASSERT_EQ(sender->GetReport(report.put(), 1), 1);
  // Merged after the report was read, and a side file from an older removal.
  Bytes merged = LogOf({u"m1"});
  merged.erase(merged.begin(), merged.begin() + sizeof(LogFileHeader));
  Bytes pending = ReadFileBytes(Pending());
  pending.insert(pending.end(), merged.begin(), merged.end());
  ASSERT_TRUE(WriteFileBytes(Pending(), pending));
  ASSERT_TRUE(WriteFileBytes(m_folder.File(L"error.bf.rest"), LogOf({u"x1"})));

  EXPECT_EQ(sender->MarkReportSent(), S_OK);
  EXPECT_EQ(ReadFileBytes(Pending()), LogOf({u"m1"}));
  EXPECT_FALSE(FileExists(m_folder.File(L"error.bf.rest")));
}

Bytes BodyOf(const Bytes& log) { return Bytes(log.begin() + sizeof(LogFileHeader), log.end()); }

Bytes Joined(Bytes bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

// Between the report and its mark a roll-over may cut error.bf's torn tail or
// odd last byte, and append after them: the records reported still go.
TEST_F(RemovalTest, ATailCutAfterTheReportStillRemovesTheReportedRecords) {
  const Bytes records = LogOf({u"r1", u"r2"});
  const Bytes merged = BodyOf(LogOf({u"m1"}));
  const Bytes torn(merged.begin(), merged.begin() + 101);
  const struct {
    const char* name;
    Bytes reported, before;
    std::optional<Bytes> after;  // none: error.bf is gone
  } rows[] = {
      {"a torn tail cut", Joined(records, torn), records, std::nullopt},
      {"an odd last byte cut", Joined(records, {0x41}), records, std::nullopt},
      {"a torn tail cut, then a merge", Joined(records, torn), Joined(records, merged),
       LogOf({u"m1"})},
      {"a record changed: nothing goes", Joined(records, torn), LogOf({u"r1", u"x2"}),
       LogOf({u"r1", u"x2"})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteIni(m_folder.path(), L"DateMarks", L"SendErrorDate", nullptr);
    ASSERT_TRUE(WriteFileBytes(Pending(), row.reported));
    ComPtr<IKRLogSender> sender = m_server.CreateSender();
    UniqueBstr report;
    ASSERT_EQ(sender->GetReport(report.put(), 1), 1);
    ASSERT_TRUE(WriteFileBytes(Pending(), row.before));
    EXPECT_EQ(sender->MarkReportSent(), S_OK);
    EXPECT_EQ(FileExists(Pending()), row.after.has_value());
    if (row.after) {
      EXPECT_EQ(ReadFileBytes(Pending()), *row.after);
    }
  }
}

// A reader that has error.bf open without delete sharing when the removal
// comes, and lets it go within the bound, only delays it.
TEST_F(RemovalTest, AReaderAtTheMomentOfRemovalIsWaitedOut) {
  const Bytes records = LogOf({u"r1"});
  for (bool withMerged : {false, true}) {
    SCOPED_TRACE(withMerged ? "records merged after the report" : "all of it reported");
    WriteIni(m_folder.path(), L"DateMarks", L"SendErrorDate", nullptr);
    ASSERT_TRUE(WriteFileBytes(Pending(), records));
    ComPtr<IKRLogSender> sender = m_server.CreateSender();
    UniqueBstr report;
    ASSERT_EQ(sender->GetReport(report.put(), 1), 1);
    if (withMerged) {
      ASSERT_TRUE(WriteFileBytes(Pending(), Joined(records, BodyOf(LogOf({u"m1"})))));
    }
    const HANDLE hReader = CreateFileW(Pending().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hReader, INVALID_HANDLE_VALUE);
    std::thread release([hReader] {
      Sleep(100);
      CloseHandle(hReader);
    });
    EXPECT_EQ(sender->MarkReportSent(), S_OK);
    release.join();
    EXPECT_EQ(FileExists(Pending()), withMerged);
    if (withMerged) {
      EXPECT_EQ(ReadFileBytes(Pending()), LogOf({u"m1"}));
    }
    EXPECT_FALSE(FileExists(m_folder.File(L"error.bf.rest")));
  }
}

}  // namespace
