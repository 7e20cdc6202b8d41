// Failures on demand. The twin of the library with the fault seam
// (file_io_seam.h) runs an append, a roll-over and a removal in a process of
// its own while one of its file calls, each in turn, fails, comes up short or
// ends the process. Whatever the call: no record is lost or doubled, error.bf
// reads to its end, and the next run of the shipped library leaves every
// file whole and no file beside them.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "format/log_accounts.h"
#include "format/log_append_journal.h"
#include "storage/file_io_seam.h"
#include "support/log_bytes_builder.h"
#include "support/log_file_view.h"
#include "support/log_library.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogOf;

using Texts = std::vector<std::u16string>;
using Bytes = std::vector<unsigned char>;

constexpr wchar_t kOldDate[] = L"2000.01.01";
constexpr DWORD kHostFailed = 1000;  // fault_host's own failures start here

struct Content {
  bool exists = false;
  bool whole = false;
  Texts messages;
};

// The file as recovery leaves it: an append that its journal names and whose
// records still wait in the staged file is cut off.
Content ContentOf(const std::wstring& path) {
  Content content;
  content.exists = FileExists(path);
  Bytes bytes = ReadFileBytes(path);
  const Bytes journal = ReadFileBytes(path + kLogAppendJournalSuffix);
  const auto append = DecodeLogAppendJournal(journal.data(), journal.size());
  const Bytes staged = ReadFileBytes(path + L".tmp");
  if (append && append->Encloses(bytes.size()) && FileExists(path + L".tmp") &&
      append->Names(LogStagedMarkOf(staged.data(), staged.size()))) {
    bytes.resize(append->nBase);
  }
  const DecodedLog log = DecodeLog(bytes);
  content.whole = log.headerValid && log.whole;
  for (const DecodedRecord& record : log.records) content.messages.push_back(record.message);
  return content;
}

// How LogOfSize's messages start: the tag, the record's number, a dash.
std::u16string Numbered(char16_t tag, std::size_t n) {
  const std::string digits = std::to_string(n);
  return tag + std::u16string(digits.begin(), digits.end()) + u"-";
}

bool StartsWith(const Texts& texts, const Texts& prefix) {
  return texts.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), texts.begin());
}

struct Folder {
  TempDataFolder data;
  std::wstring Active() const { return data.File(L"error.Profile"); }
  std::wstring Pending() const { return data.File(L"error.bf"); }
  void StoreDate(const wchar_t* date) const {
    WriteIni(data.path(), L"General", L"LogErrorDate", date);
  }
  // What the roll-over leaves beside error.bf only while it or a removal runs.
  void ExpectNoCompanions() const {
    for (const wchar_t* name : {L"error.bf.tmp", L"error.bf.journal", L"error.bf.merge",
                                L"error.bf.merging", L"error.bf.rest"}) {
      EXPECT_FALSE(FileExists(data.File(name))) << std::string(name, name + wcslen(name));
    }
  }
  // The shipped library's next load on a new day, and an append: recovery.
  void RunShippedOnANewDay() const {
    StoreDate(kOldDate);
    LogShipped();
  }
  void LogShipped() const {
    LogLibrary library;
    ASSERT_TRUE(library.loaded());
    library.logError(nullptr, 0, L"abc", nullptr);
  }
};

// fault_host with call `nCall` armed with `nMode`; its exit code.
DWORD RunFaulted(const wchar_t* scenario, LONG nCall, LONG nMode) {
  SetEnvironmentVariableW(kFileFaultAtVariable, std::to_wstring(nCall).c_str());
  SetEnvironmentVariableW(kFileFaultModeVariable, std::to_wstring(nMode).c_str());
  const DWORD code = RunProgram(L"fault_host.exe", scenario);
  SetEnvironmentVariableW(kFileFaultAtVariable, nullptr);
  SetEnvironmentVariableW(kFileFaultModeVariable, nullptr);
  return code;
}

// Counts the scenario's file calls, then runs it once for every call and
// mode with that call faulted, each time in a fresh folder.
void Sweep(const wchar_t* scenario, const std::function<void(const Folder&)>& arrange,
           const std::function<void(const Folder&, LONG nMode)>& check) {
  LONG nCalls = 0;
  {
    Folder folder;
    arrange(folder);
    nCalls = static_cast<LONG>(RunFaulted(scenario, 0, kFileFaultNone));
    ASSERT_GT(nCalls, 0);
    ASSERT_LT(nCalls, static_cast<LONG>(kHostFailed));
    check(folder, kFileFaultNone);
  }
  for (LONG nMode : {kFileFaultFail, kFileFaultShort, kFileFaultCrash}) {
    for (LONG nCall = 1; nCall <= nCalls; ++nCall) {
      SCOPED_TRACE(testing::Message()
                   << "call " << nCall << " of " << nCalls << ", mode " << nMode);
      Folder folder;
      arrange(folder);
      const DWORD code = RunFaulted(scenario, nCall, nMode);
      if (nMode == kFileFaultCrash) {
        EXPECT_EQ(code, kFileFaultCrashExitCode);
      } else {
        EXPECT_LT(code, kHostFailed);
      }
      check(folder, nMode);
    }
  }
}

TEST(FaultSweepTest, AppendKeepsTheFileWholeWithTheRecordOrWithout) {
  Sweep(
      L"append",
      [](const Folder& folder) {
        folder.StoreDate(TodayText().c_str());
        ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1", u"a2"})));
      },
      [](const Folder& folder, LONG nMode) {
        const Content after = ContentOf(folder.Active());
        EXPECT_TRUE(StartsWith(after.messages, {u"a1", u"a2"}));
        // Only a process that died mid-write may leave a torn tail behind.
        EXPECT_TRUE(after.whole || nMode == kFileFaultCrash);
        folder.LogShipped();
        const Content next = ContentOf(folder.Active());
        EXPECT_TRUE(next.whole);
        // A record torn by the host's end is cut, and accounted for, by the next.
        const std::u16string cut(LogAccountMessage(LogAccountCause::TornRecord));
        EXPECT_TRUE(next.messages == (Texts{u"a1", u"a2", u"abc"}) ||
                    next.messages == (Texts{u"a1", u"a2", u"fault-host", u"abc"}) ||
                    (!after.whole && next.messages == (Texts{u"a1", u"a2", cut, u"abc"})));
      });
}

TEST(FaultSweepTest, RollOverLosesAndDoublesNothing) {
  const Texts all = {u"p1", u"p2", u"a1", u"a2"};
  Sweep(
      L"rollover",
      [](const Folder& folder) {
        folder.StoreDate(kOldDate);
        ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"p1", u"p2"})));
        ASSERT_TRUE(WriteFileBytes(folder.Active(), LogOf({u"a1", u"a2"})));
      },
      [&all](const Folder& folder, LONG) {
        const Content pending = ContentOf(folder.Pending());
        EXPECT_TRUE(pending.whole);
        // Each record is somewhere that the next roll-over takes it from.
        Texts found;
        for (const wchar_t* name :
             {L"error.bf", L"error.bf.tmp", L"error.bf.merging", L"error.Profile"}) {
          const Texts messages = ContentOf(folder.data.File(name)).messages;
          found.insert(found.end(), messages.begin(), messages.end());
        }
        for (const std::u16string& message : all) {
          EXPECT_NE(std::find(found.begin(), found.end(), message), found.end());
        }
        folder.RunShippedOnANewDay();
        const Content merged = ContentOf(folder.Pending());
        EXPECT_TRUE(merged.whole);
        EXPECT_EQ(merged.messages, all);
        EXPECT_EQ(ContentOf(folder.Active()).messages, Texts{u"abc"});
        folder.ExpectNoCompanions();
      });
}

// Two merges in one roll-over: a staged day's log that an earlier roll-over
// left, which fills the pending log, then the day's log, which must wait.
// Whatever call fails, every record the first merge committed stays, with
// its account, and the day's records wait whole.
TEST(FaultSweepTest, TwoMergeRollOverKeepsWhatTheFirstCommitted) {
  static const Bytes pending = logtest::LogOfSize(u'p', 13000, 2000);
  static const Bytes leftover = logtest::LogOfSize(u's', 2000, 300);
  static const Bytes day = logtest::LogOfSize(u'a', 10, 300);
  const std::u16string full(LogAccountMessage(LogAccountCause::PendingFull));
  Texts days;
  for (const DecodedRecord& record : DecodeLog(day).records) days.push_back(record.message);
  std::size_t nKeptWithoutFault = 0;
  Sweep(
      L"rollover",
      [](const Folder& folder) {
        folder.StoreDate(kOldDate);
        ASSERT_TRUE(WriteFileBytes(folder.Pending(), pending));
        ASSERT_TRUE(WriteFileBytes(folder.data.File(L"error.bf.tmp"), leftover));
        ASSERT_TRUE(WriteFileBytes(folder.Active(), day));
      },
      [&](const Folder& folder, LONG nMode) {
        folder.RunShippedOnANewDay();
        const Content after = ContentOf(folder.Pending());
        EXPECT_TRUE(after.whole);
        ASSERT_GE(after.messages.size(), 13000u);
        EXPECT_TRUE(after.messages[12999].starts_with(Numbered(u'p', 12999)));
        // The leftover's earliest records, then one account of the rest.
        std::size_t nKept = 0;
        while (13000 + nKept < after.messages.size() &&
               after.messages[13000 + nKept].starts_with(Numbered(u's', nKept))) {
          ++nKept;
        }
        EXPECT_EQ(after.messages.size(), 13000 + nKept + 1);
        EXPECT_EQ(after.messages.back(), full);
        if (nMode == kFileFaultNone) nKeptWithoutFault = nKept;
        // The account's host may differ, and with it the room left by a record.
        EXPECT_LE(nKept + 1, nKeptWithoutFault + 2);
        EXPECT_GE(nKept + 1, nKeptWithoutFault);
        EXPECT_GT(nKept, 0u);
        // The day waits whole, staged or where it was.
        Texts waiting = ContentOf(folder.data.File(L"error.bf.tmp")).messages;
        const Texts active = ContentOf(folder.Active()).messages;
        waiting.insert(waiting.end(), active.begin(), active.end());
        for (const std::u16string& message : days) {
          EXPECT_NE(std::find(waiting.begin(), waiting.end(), message), waiting.end());
        }
        EXPECT_FALSE(FileExists(folder.data.File(L"error.bf.journal")));
      });
}

// The pending log is appended to in place: a roll-over writes the day's
// records and its journal, never the pending log's own bytes again.
TEST(FaultSweepTest, RollOverWritesTheDaysRecordsAndTheJournalOnly) {
  Folder folder;
  folder.StoreDate(kOldDate);
  const Bytes pending = logtest::LogOfSize(u'p', 40, 2000);
  const Bytes active = logtest::LogOfSize(u'a', 10, 2000);
  ASSERT_TRUE(WriteFileBytes(folder.Pending(), pending));
  ASSERT_TRUE(WriteFileBytes(folder.Active(), active));
  const DWORD written = RunProgram(L"fault_host.exe", L"written");
  EXPECT_GE(written, active.size() - sizeof(LogFileHeader));
  EXPECT_LE(written, active.size() - sizeof(LogFileHeader) + kLogAppendJournalBytes);
  EXPECT_EQ(ContentOf(folder.Pending()).messages.size(), 50u);
  folder.ExpectNoCompanions();
}

TEST(FaultSweepTest, RemovalLeavesTheOldFileOrTheNewOne) {
  for (bool withMerged : {true, false}) {
    SCOPED_TRACE(withMerged ? "records merged after the report" : "all of it reported");
    const Texts reported = {u"r1", u"r2"};
    const Texts old = withMerged ? Texts{u"r1", u"r2", u"m1"} : reported;
    const Texts kept = withMerged ? Texts{u"m1"} : Texts{};
    Sweep(
        L"remove",
        [withMerged](const Folder& folder) {
          folder.StoreDate(TodayText().c_str());
          ASSERT_TRUE(WriteFileBytes(folder.Pending(), LogOf({u"r1", u"r2"})));
          if (withMerged) {
            Bytes records = LogOf({u"m1"});
            records.erase(records.begin(), records.begin() + sizeof(LogFileHeader));
            ASSERT_TRUE(WriteFileBytes(folder.data.File(L"merged.bin"), records));
          }
        },
        [&](const Folder& folder, LONG) {
          for (int pass = 0; pass < 2; ++pass) {
            const Content pending = ContentOf(folder.Pending());
            // A host that died before it merged leaves just what it was given.
            EXPECT_TRUE(pending.exists ? pending.whole &&
                                             (pending.messages == old || pending.messages == kept ||
                                              pending.messages == reported)
                                       : kept.empty())
                << "pass " << pass;
            if (pass == 0) folder.RunShippedOnANewDay();
          }
          folder.ExpectNoCompanions();
        });
  }
}

}  // namespace
