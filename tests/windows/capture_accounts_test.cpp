// Every record the log cannot keep is accounted for in a record of its own:
// one row per cause, each checking the account, its count, and that every
// other record is still there, in order.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Win/folder_mutex.h"
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
using logtest::LogOfSize;

// A log whose last record a dying writer cut short.
Bytes Torn(Bytes log, std::size_t nCut) {
  log.resize(log.size() - nCut);
  return log;
}

constexpr std::size_t k64K = 64 * 1024;
constexpr std::size_t kTornCut = 288 - 20;  // a record "torn" of 288 bytes, 20 of them missing

Texts Messages(const Bytes& log) {
  Texts messages;
  for (const DecodedRecord& record : DecodeLog(log).records) messages.push_back(record.message);
  return messages;
}

struct Scenario {
  TempDataFolder data;
  std::wstring Active() const { return data.File(L"error.Profile"); }
  std::wstring Pending() const { return data.File(L"error.bf"); }
  void Write(const std::wstring& path, const Bytes& bytes) const {
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }
  void StoreDate(const std::wstring& date) const {
    WriteIni(data.path(), L"General", L"LogErrorDate", date.c_str());
  }
};

// Holds the day's log open as another program would, and with `bMutex` the
// writers' mutex too, so that a writer's turn never comes.
class Holder {
 public:
  Holder(const Scenario& scenario, bool bMutex) {
    m_file =
        UniqueFileHandle::Adopt(CreateFileW(scenario.Active().c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!bMutex) return;
    m_mutex = OpenFolderMutex(kActiveLogMutexPurpose, scenario.data.path().c_str());
    m_held = UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_release = UniqueKernelHandle::Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread = std::thread([this] {
      MutexHold hold;
      WaitForMutex(m_mutex.get(), INFINITE, hold);
      SetEvent(m_held.get());
      WaitForSingleObject(m_release.get(), INFINITE);
    });
    WaitForSingleObject(m_held.get(), INFINITE);
  }
  ~Holder() {
    if (m_thread.joinable()) {
      SetEvent(m_release.get());
      m_thread.join();
    }
  }

 private:
  UniqueFileHandle m_file;
  UniqueKernelHandle m_mutex, m_held, m_release;
  std::thread m_thread;
};

// One record logged while another holds the day's log (and, with `bMutex`,
// the writers' turn too), then one more once it lets go.
std::function<void(const Scenario&)> DropOneWhileHeld(bool bMutex) {
  return [bMutex](const Scenario& s) {
    s.Write(s.Active(), LogOf({u"a1"}));
    LogLibrary library;
    {
      Holder holder(s, bMutex);
      library.logError(nullptr, 0, L"lost", nullptr);
    }
    library.logError(nullptr, 0, L"after", nullptr);
  };
}

TEST(AccountTest, EveryCauseLeavesOneAccountAndCostsNoOtherRecord) {
  const Bytes nearCap = LogOfSize(u'a', 1, static_cast<std::size_t>(kLogRecordLimit) - 12 - 1000);
  const struct {
    const char* name;
    std::function<void(const Scenario&)> act;
    bool bPending;  // the account is in error.bf, after a roll-over
    LogAccountCause cause;
    std::u16string value;
    Texts others;  // every other record, in order
  } rows[] = {
      {"the day's log at its cap",
       [&](const Scenario& s) {
         s.Write(s.Active(), nearCap);
         LogLibrary library;
         const std::wstring big(1000, L'b');
         for (int i = 0; i < 3; ++i) library.logError(nullptr, 0, big.c_str(), nullptr);
       },
       false, LogAccountCause::DayLogCap, CapCountText(3), Messages(nearCap)},
      {"a turn not had within the bound", DropOneWhileHeld(true), false,
       LogAccountCause::WriterDrops, u"1", Texts{u"a1", u"after"}},
      {"an open failure", DropOneWhileHeld(false), false, LogAccountCause::WriterDrops, u"1",
       Texts{u"a1", u"after"}},
      {"the roll-over, the day's log alone over the cap",
       [](const Scenario& s) {
         s.Write(s.Active(), LogOfSize(u'd', 401, k64K));
         LogLibrary library;
       },
       true, LogAccountCause::PendingFull, LeftOutText(2, 2 * k64K),
       Messages(LogOfSize(u'd', 399, k64K))},
      {"the roll-over, both logs together over the cap",
       [](const Scenario& s) {
         s.Write(s.Pending(), LogOfSize(u'p', 300, k64K));
         s.Write(s.Active(), LogOfSize(u'd', 120, k64K));
         LogLibrary library;
       },
       true, LogAccountCause::PendingFull, LeftOutText(21, 21 * k64K),
       Messages(LogOfSize(u'd', 99, k64K, logtest::RecordsOf(LogOfSize(u'p', 300, k64K))))},
      {"a torn tail cut by a writer",
       [](const Scenario& s) {
         s.Write(s.Active(), Torn(LogOf({u"a1", u"torn"}), 20));
         LogLibrary library;
         library.logError(nullptr, 0, L"after", nullptr);
       },
       false, LogAccountCause::TornRecord, CountText(kTornCut), Texts{u"a1", u"after"}},
      {"a torn tail cut by the merge",
       [](const Scenario& s) {
         s.Write(s.Pending(), Torn(LogOf({u"p1", u"torn"}), 20));
         s.Write(s.Active(), LogOf({u"a1"}));
         LogLibrary library;
       },
       true, LogAccountCause::TornRecord, CountText(kTornCut), Texts{u"p1", u"a1"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Scenario scenario;
    scenario.StoreDate(row.bPending ? L"2000.01.01" : TodayText());
    row.act(scenario);
    const Bytes bytes = ReadFileBytes(row.bPending ? scenario.Pending() : scenario.Active());
    EXPECT_LE(bytes.size(), static_cast<std::size_t>(kLogRolloverCap));
    const DecodedLog log = DecodeLog(bytes);
    EXPECT_TRUE(log.whole);
    Texts others;
    int nAccounts = 0;
    for (const DecodedRecord& record : log.records) {
      if (record.header.ErrorCode != static_cast<std::int32_t>(row.cause)) {
        others.push_back(record.message);
        continue;
      }
      ++nAccounts;
      EXPECT_EQ(record.header.Kind, static_cast<std::uint32_t>(RecordKind::Warning));
      EXPECT_EQ(record.message, LogAccountMessage(row.cause));
      EXPECT_EQ(record.value, row.value);
    }
    EXPECT_EQ(nAccounts, 1);
    EXPECT_EQ(others, row.others);
  }
}

}  // namespace
