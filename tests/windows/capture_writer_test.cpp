// Writers of one data folder queue for its log files: several processes of
// several threads lose no record, and a writer that died owning the files
// neither blocks the next one nor leaves it appending behind a torn record.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Win/folder_mutex.h"
#include "capture/active_log_gate.h"
#include "format/log_accounts.h"
#include "storage/log_exclusion.h"
#include "support/log_bytes_builder.h"
#include "support/log_file_view.h"
#include "support/log_library.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogOf;

using Bytes = std::vector<unsigned char>;
using Texts = std::vector<std::u16string>;

// The account the next writer leaves where it cut a torn record.
const std::u16string kCutAccount(LogAccountMessage(LogAccountCause::TornRecord));

Bytes Cut(Bytes bytes, std::size_t nDropped) {
  bytes.resize(bytes.size() - nDropped);
  return bytes;
}

Texts Messages(const DecodedLog& log) {
  Texts messages;
  for (const DecodedRecord& record : log.records) messages.push_back(record.message);
  return messages;
}

// A process that takes the folder's mutex of `purpose` and ends owning it.
void AbandonMutex(const wchar_t* purpose) {
  ASSERT_EQ(RunProgram(L"fault_host.exe", std::wstring(L"abandon ") + purpose), 0u);
}

class WriterTest : public ::testing::Test {
 protected:
  std::wstring Active() const { return m_folder.File(L"error.Profile"); }
  std::wstring Pending() const { return m_folder.File(L"error.bf"); }

  TempDataFolder m_folder;
};

TEST_F(WriterTest, ProcessesOfManyThreadsLoseNoRecord) {
  WriteIni(m_folder.path(), L"General", L"LogErrorDate", TodayText().c_str());
  constexpr int kProcesses = 3;
  std::vector<std::thread> processes;
  for (int p = 0; p < kProcesses; ++p) {
    processes.emplace_back(
        [p] { EXPECT_EQ(RunProgram(L"a.exe", L"100 p" + std::to_wstring(p) + L"- 4"), 0u); });
  }
  for (std::thread& process : processes) process.join();
  const DecodedLog log = DecodeLog(ReadFileBytes(Active()));
  EXPECT_TRUE(log.whole);
  const Texts messages = Messages(log);
  EXPECT_EQ(messages.size(), kProcesses * 4 * 100u);
  EXPECT_EQ(std::set<std::u16string>(messages.begin(), messages.end()).size(), messages.size());
}

TEST(WriterRepairTest, NextWriterRepairsWhatADeadWriterLeftWithoutWaiting) {
  // Another process of the suite keeps the gate open; its writer last wrote
  // well, or died writing without the mutex.
  enum Gate { NoGate, WroteWell, DiedWriting };
  const Bytes whole = LogOf({u"a1"});
  const struct {
    const char* name;
    Bytes before;        // the active log as the dead writer left it
    bool abandoned;      // it died owning the mutex ...
    bool mutexKeptOpen;  // ... while another process had the mutex open
    Texts want;
    Gate gate = NoGate;
  } rows[] = {
      {"torn record, its writer ahead of the queue",
       Cut(LogOf({u"a1", u"torn"}), 20),
       false,
       true,
       {u"a1", kCutAccount, u"after"},
       DiedWriting},
      {"whole file, its writer ahead of the queue",
       whole,
       false,
       true,
       {u"a1", u"after"},
       DiedWriting},
      {"torn record, mutex abandoned",
       Cut(LogOf({u"a1", u"torn"}), 20),
       true,
       true,
       {u"a1", kCutAccount, u"after"}},
      {"torn record, its writer the last user",
       Cut(LogOf({u"a1", u"torn"}), 20),
       true,
       false,
       {u"a1", kCutAccount, u"after"}},
      {"torn record header",
       Cut(LogOf({u"a1", u"torn"}), 200),
       true,
       true,
       {u"a1", kCutAccount, u"after"}},
      {"whole file, mutex abandoned", whole, true, true, {u"a1", u"after"}},
      {"torn file header, mutex abandoned", Cut(LogOf({}), 7), true, true, {u"after"}},
      {"torn file header, no one died", Cut(LogOf({}), 1), false, false, {u"after"}},
      {"odd-length tail cut outside the suite",
       Cut(LogOf({u"a1", u"torn"}), 21),
       false,
       true,
       {u"a1", kCutAccount, u"after"},
       WroteWell},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder folder;
    WriteIni(folder.path(), L"General", L"LogErrorDate", TodayText().c_str());
    UniqueKernelHandle keptOpen;
    ActiveLogGate gate;
    if (row.gate != NoGate) {
      ASSERT_TRUE(gate.Open(folder.File(L"error.Profile").c_str()));
      gate.EndWrite(true, true);
      // As a writer of another process leaves the gate when it dies between
      // opening the file and closing it.
      if (row.gate == DiedWriting) gate.BeginWrite();
    } else if (row.mutexKeptOpen) {
      keptOpen = OpenFolderMutex(kActiveLogMutexPurpose, folder.path().c_str());
    }
    ASSERT_TRUE(WriteFileBytes(folder.File(L"error.Profile"), row.before));
    if (row.abandoned) AbandonMutex(kActiveLogMutexPurpose);

    LogLibrary library;
    ASSERT_TRUE(library.loaded());
    const auto start = std::chrono::steady_clock::now();
    library.logError(nullptr, 0, L"after", nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(kLogExclusionBoundMs / 2));
    const DecodedLog log = DecodeLog(ReadFileBytes(folder.File(L"error.Profile")));
    EXPECT_TRUE(log.whole);
    EXPECT_EQ(Messages(log), row.want);
  }
}

TEST_F(WriterTest, RollOverTakesOverAnAbandonedPendingLog) {
  WriteIni(m_folder.path(), L"General", L"LogErrorDate", L"2000.01.01");
  ASSERT_TRUE(WriteFileBytes(Pending(), LogOf({u"p1"})));
  ASSERT_TRUE(WriteFileBytes(Active(), LogOf({u"a1"})));
  // A merge that died while writing its copy, and a removal that died before
  // it swapped its side file in: both are mere copies.
  ASSERT_TRUE(WriteFileBytes(m_folder.File(L"error.bf.merge"), Cut(LogOf({u"p1", u"a1"}), 30)));
  ASSERT_TRUE(WriteFileBytes(m_folder.File(L"error.bf.rest"), LogOf({u"x1"})));
  UniqueKernelHandle keptOpen = OpenFolderMutex(kPendingLogMutexPurpose, m_folder.path().c_str());
  AbandonMutex(kPendingLogMutexPurpose);

  // Had it waited the dead owner out, the load would neither merge nor store the date.
  LogLibrary library;
  ASSERT_TRUE(library.loaded());
  const DecodedLog log = DecodeLog(ReadFileBytes(Pending()));
  EXPECT_TRUE(log.whole);
  EXPECT_EQ(Messages(log), (Texts{u"p1", u"a1"}));
  EXPECT_FALSE(FileExists(m_folder.File(L"error.bf.merge")));
  EXPECT_FALSE(FileExists(m_folder.File(L"error.bf.rest")));
  EXPECT_EQ(ReadIni(m_folder.path(), L"General", L"LogErrorDate"), TodayText());
}

TEST_F(WriterTest, RollOverThatCannotHaveThePendingLogLeavesTheDayToTheNextLoad) {
  WriteIni(m_folder.path(), L"General", L"LogErrorDate", L"2000.01.01");
  ASSERT_TRUE(WriteFileBytes(Pending(), LogOf({u"p1"})));
  ASSERT_TRUE(WriteFileBytes(Active(), LogOf({u"a1"})));
  UniqueKernelHandle mutex = OpenFolderMutex(kPendingLogMutexPurpose, m_folder.path().c_str());
  UniqueKernelHandle release =
      UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle held = UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread holder([&] {
    MutexHold hold;
    WaitForMutex(mutex.get(), INFINITE, hold);
    SetEvent(held.get());
    WaitForSingleObject(release.get(), INFINITE);
  });
  WaitForSingleObject(held.get(), INFINITE);
  { LogLibrary library; }
  SetEvent(release.get());
  holder.join();
  EXPECT_EQ(ReadIni(m_folder.path(), L"General", L"LogErrorDate"), L"2000.01.01");
  EXPECT_EQ(Messages(DecodeLog(ReadFileBytes(Pending()))), Texts{u"p1"});

  { LogLibrary library; }
  EXPECT_EQ(ReadIni(m_folder.path(), L"General", L"LogErrorDate"), TodayText());
  EXPECT_EQ(Messages(DecodeLog(ReadFileBytes(Pending()))), (Texts{u"p1", u"a1"}));
}

}  // namespace
