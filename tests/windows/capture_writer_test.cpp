// Writers of one data folder queue for its log files: several processes of
// several threads lose no record, and a writer that died owning the files
// neither blocks the next one nor leaves it appending behind a torn record.
#include <windows.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Win/folder_mutex.h"
#include "capture/active_log_gate.h"
#include "capture/log_account_state.h"
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

// Takes the folder's object named for `purpose` before the library does.
UniqueKernelHandle SquatWithEvent(const std::wstring& folder, const wchar_t* purpose) {
  return UniqueKernelHandle::Adopt(
      CreateEventW(nullptr, TRUE, FALSE, FolderMutexName(purpose, folder.c_str()).c_str()));
}

// The writers' mutex as a creator whose security admits no one else makes it.
UniqueKernelHandle MutexShuttingOthersOut(const std::wstring& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return {};
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  UniqueKernelHandle mutex = UniqueKernelHandle::Adopt(CreateMutexW(
      &attributes, FALSE, FolderMutexName(kActiveLogMutexPurpose, folder.c_str()).c_str()));
  LocalFree(descriptor);
  return mutex;
}

TEST(WriterFallbackTest, WithoutTheMutexRecordsAreWrittenAndDropsAccounted) {
  const std::u16string kDropAccount(LogAccountMessage(LogAccountCause::WriterDrops));
  const struct {
    const char* name;
    std::function<std::vector<UniqueKernelHandle>(const std::wstring&)> squat;
  } rows[] = {
      {"the mutex's name held by an event",
       [](const std::wstring& folder) {
         std::vector<UniqueKernelHandle> held;
         held.push_back(SquatWithEvent(folder, kActiveLogMutexPurpose));
         return held;
       }},
      {"the mutex shuts this user out",
       [](const std::wstring& folder) {
         std::vector<UniqueKernelHandle> held;
         held.push_back(MutexShuttingOthersOut(folder));
         return held;
       }},
      {"every name of the folder's writers held by events",
       [](const std::wstring& folder) {
         std::vector<UniqueKernelHandle> held;
         for (const wchar_t* purpose :
              {kActiveLogMutexPurpose, L"ActiveLogState", kLogAccountStatePurpose}) {
           held.push_back(SquatWithEvent(folder, purpose));
         }
         return held;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder folder;
    const std::wstring active = folder.File(L"error.Profile");
    WriteIni(folder.path(), L"General", L"LogErrorDate", TodayText().c_str());
    const std::vector<UniqueKernelHandle> held = row.squat(folder.path());
    for (const UniqueKernelHandle& handle : held) ASSERT_TRUE(handle);
    {
      LogLibrary library;
      library.logError(nullptr, 0, L"one", nullptr);
      {
        // Another program keeps the file past the bound.
        UniqueFileHandle file = UniqueFileHandle::Adopt(CreateFileW(
            active.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        library.logError(nullptr, 0, L"lost", nullptr);
      }
      library.logError(nullptr, 0, L"after", nullptr);
    }
    // Two processes at once, by the share mode alone.
    std::vector<std::thread> processes;
    for (int p = 0; p < 2; ++p) {
      processes.emplace_back(
          [p] { EXPECT_EQ(RunProgram(L"a.exe", L"50 p" + std::to_wstring(p) + L"- 2"), 0u); });
    }
    for (std::thread& process : processes) process.join();
    const DecodedLog log = DecodeLog(ReadFileBytes(active));
    EXPECT_TRUE(log.whole);
    const Texts messages = Messages(log);
    ASSERT_EQ(messages.size(), 3 + 2 * 2 * 50u);
    EXPECT_EQ(Texts(messages.begin(), messages.begin() + 3),
              (Texts{u"one", kDropAccount, u"after"}));
    EXPECT_EQ(log.records[1].value, u"1");
    EXPECT_EQ(std::set<std::u16string>(messages.begin(), messages.end()).size(), messages.size());

    // The roll-over takes its turn the same way.
    WriteIni(folder.path(), L"General", L"LogErrorDate", L"2000.01.01");
    { LogLibrary library; }
    EXPECT_FALSE(FileExists(active));
    EXPECT_EQ(Messages(DecodeLog(ReadFileBytes(folder.File(L"error.bf")))), messages);
    EXPECT_EQ(ReadIni(folder.path(), L"General", L"LogErrorDate"), TodayText());
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
