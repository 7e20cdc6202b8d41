// Loading the pending log file: the reader's outcomes on the real file
// system, share modes included.
#include <windows.h>
#include <gtest/gtest.h>

#include "report/log2xml.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogBytesBuilder;
using logtest::RecordFields;

class ReportReaderTest : public ::testing::Test {
 protected:
  std::wstring Pending() const { return m_folder.File(L"error.bf"); }
  void WritePending(const std::vector<std::uint8_t>& bytes) {
    ASSERT_TRUE(WriteFileBytes(Pending(), bytes));
  }
  static std::size_t ItemCount(const CLog2XML& log) {
    std::size_t count = 0;
    for (const auto& product : log.m_vecProducts)
      for (const auto& app : product->vecApps)
        for (const auto& module : app->vecModules) count += module->vecItems.size();
    return count;
  }

  TempDataFolder m_folder;
};

TEST_F(ReportReaderTest, OutcomesOfALoad) {
  LogFileHeader revision2 = kLogFileHeader;
  revision2.Revision = 2;
  RecordFields damaged;
  damaged.headerSize = 0;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool loaded;
    std::size_t items;
  } cases[] = {
      {"empty file", {}, false, 0},
      {"header only", LogBytesBuilder().Bytes(), true, 0},
      {"revision 2", LogBytesBuilder(revision2).Record().Bytes(), false, 0},
      {"third record damaged: skipped, the rest read",
       LogBytesBuilder()
           .Record(RecordFields().Message(u"a"))
           .Record(RecordFields().Message(u"b"))
           .Record(damaged)
           .Record(RecordFields().Message(u"c"))
           .Bytes(),
       true, 3},
      {"zeroed file header", LogBytesBuilder(LogFileHeader{0, 0, 0}).Record().Bytes(), true, 1},
      {"zeroed file header, no records", LogBytesBuilder(LogFileHeader{0, 0, 0}).Bytes(), false, 0},
      {"torn tail", LogBytesBuilder().Record().Record().DropTail(3).Bytes(), true, 1},
      {"three alike", LogBytesBuilder().Record().Record().Record().Bytes(), true, 1},
  };
  for (const Case& c : cases) {
    WritePending(c.bytes);
    CLog2XML log;
    EXPECT_EQ(log.LoadLogFile(), c.loaded) << c.name;
    EXPECT_EQ(ItemCount(log), c.items) << c.name;
    EXPECT_EQ(log.m_strLogFile, Pending()) << c.name;
    EXPECT_EQ(log.FileDataBytes(), c.bytes.size()) << c.name;
  }
}

// `logtool dump` lists every record and every skipped span; its exit code
// tells a whole file (0) from one with damage (8), from a log of another
// format (9) and from a file it cannot read (3).
TEST_F(ReportReaderTest, LogtoolDumpExitCodeTellsDamage) {
  LogFileHeader revision2 = kLogFileHeader;
  revision2.Revision = 2;
  const std::vector<std::uint8_t> zeros(4096, 0);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    DWORD exitCode;
  } cases[] = {
      {"whole", LogBytesBuilder().Record().Record().Bytes(), 0},
      {"header only", LogBytesBuilder().Bytes(), 0},
      {"zeros between records", LogBytesBuilder().Record().Raw(zeros).Record().Record().Bytes(), 8},
      {"torn tail", LogBytesBuilder().Record().Record().DropTail(3).Bytes(), 8},
      {"zeroed file header", LogBytesBuilder(LogFileHeader{0, 0, 0}).Record().Bytes(), 8},
      {"revision 2", LogBytesBuilder(revision2).Record().Bytes(), 9},
  };
  for (const auto& c : cases) {
    WritePending(c.bytes);
    EXPECT_EQ(RunProgram(L"logtool.exe", L"dump \"" + Pending() + L"\""), c.exitCode) << c.name;
  }
  EXPECT_EQ(RunProgram(L"logtool.exe", L"dump \"" + m_folder.File(L"missing.bf") + L"\""), 3u);
}

TEST_F(ReportReaderTest, MissingOrHeldFileLeavesTheObjectEmpty) {
  CLog2XML log;
  EXPECT_FALSE(log.LoadLogFile());
  EXPECT_EQ(log.m_strLogFile, Pending());
  EXPECT_EQ(log.FileData(), nullptr);

  WritePending(LogBytesBuilder().Record().Bytes());
  HANDLE writer = CreateFileW(Pending().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(log.LoadLogFile());
  EXPECT_EQ(log.FileData(), nullptr);
  CloseHandle(writer);

  // Empty objects try again; the file is found now.
  EXPECT_TRUE(log.LoadLogFile());
  EXPECT_EQ(ItemCount(log), 1u);
}

TEST_F(ReportReaderTest, LoadsAtMostOnce) {
  WritePending(LogBytesBuilder().Record(RecordFields().Message(u"first")).Bytes());
  CLog2XML log;
  ASSERT_TRUE(log.LoadLogFile());
  WritePending(LogBytesBuilder()
                   .Record(RecordFields().Message(u"first"))
                   .Record(RecordFields().Message(u"grown"))
                   .Bytes());
  EXPECT_FALSE(log.LoadLogFile());
  EXPECT_EQ(ItemCount(log), 1u);
  const ErrorItem& item = *log.m_vecProducts[0]->vecApps[0]->vecModules[0]->vecItems[0];
  EXPECT_EQ(item.pszMessage, u"first");
  EXPECT_EQ(item.nCount, 1);
}

}  // namespace
