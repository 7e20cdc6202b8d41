// Recovery of an append to the pending log that a process died in, as the
// journal beside error.bf tells it, and what a reader takes meanwhile. Each
// row leaves error.bf, the staged day's log and the journal as a dying
// roll-over could; a report read then takes only what is committed, and the
// next roll-over leaves every record once, in order, and nothing beside.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "format/log_append_journal.h"
#include "report/log2xml.h"
#include "support/log_bytes_builder.h"
#include "support/log_file_view.h"
#include "support/log_library.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using logtest::LogOf;

using Bytes = std::vector<unsigned char>;
using Texts = std::vector<std::u16string>;

Bytes Body(const Bytes& log) { return Bytes(log.begin() + sizeof(LogFileHeader), log.end()); }

Bytes Joined(Bytes bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

Texts MessagesOf(const Bytes& bytes) {
  Texts messages;
  for (const DecodedRecord& record : DecodeLog(bytes).records) messages.push_back(record.message);
  return messages;
}

TEST(PendingRecoveryTest, AJournalUndoesWhatWasNotCommittedAndReadersSkipIt) {
  const Bytes pending = LogOf({u"p1", u"p2"});
  const Bytes staged = LogOf({u"s1", u"s2"});
  const Bytes day = Body(staged);
  const LogAppendJournal journal{pending.size(), pending.size() + day.size(), std::nullopt};
  const auto encoded = EncodeLogAppendJournal(journal);
  const Bytes journalBytes(encoded.begin(), encoded.end());
  // This version's journal names the staged file it appends.
  LogAppendJournal naming = journal;
  naming.staged = LogStagedMarkOf(staged.data(), staged.size());
  const auto namingEncoded = EncodeLogAppendJournal(naming);
  const Bytes namingBytes(namingEncoded.begin(), namingEncoded.end());
  const Bytes halfDone = Joined(pending, Bytes(day.begin(), day.begin() + day.size() / 2 + 1));
  const Bytes sent = LogOf({u"r1"});
  const Bytes nextDay = LogOf({u"n1", u"n2"});
  const Texts all = {u"p1", u"p2", u"s1", u"s2", u"a1"};
  const struct {
    const char* name;
    Bytes pendingBytes;
    std::optional<Bytes> staged;
    Bytes journal;
    std::size_t readerBytes;
    Texts after;
  } rows[] = {
      {"the append whole, not committed", Joined(pending, day), staged, journalBytes,
       pending.size(), all},
      {"the append half done", halfDone, staged, journalBytes, pending.size(), all},
      {"the append not begun", pending, staged, journalBytes, pending.size(), all},
      {"the append committed, the journal left", Joined(pending, day), std::nullopt, journalBytes,
       pending.size(), all},
      {"a journal of another file: a removal replaced it",
       sent,
       staged,
       journalBytes,
       sent.size(),
       {u"r1", u"s1", u"s2", u"a1"}},
      {"a journal cut short", pending, staged, Bytes(journalBytes.begin(), journalBytes.end() - 1),
       pending.size(), all},
      {"a journal naming its staged file, the append half done", halfDone, staged, namingBytes,
       pending.size(), all},
      // Committed, then the next day's log staged beside the journal left.
      {"a journal beside a staged file it does not name",
       Joined(pending, day),
       nextDay,
       namingBytes,
       pending.size(),
       {u"p1", u"p2", u"s1", u"s2", u"n1", u"n2", u"a1"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder data;
    const std::wstring pendingPath = data.File(L"error.bf");
    ASSERT_TRUE(WriteFileBytes(pendingPath, row.pendingBytes));
    if (row.staged) {
      ASSERT_TRUE(WriteFileBytes(data.File(L"error.bf.tmp"), *row.staged));
    }
    ASSERT_TRUE(WriteFileBytes(data.File(L"error.bf.journal"), row.journal));
    ASSERT_TRUE(WriteFileBytes(data.File(L"error.Profile"), LogOf({u"a1"})));

    {
      CLog2XML reader;
      reader.ReadLogFile(pendingPath.c_str());
      EXPECT_EQ(reader.FileDataBytes(), row.readerBytes);
    }

    WriteIni(data.path(), L"General", L"LogErrorDate", L"2000.01.01");
    {
      LogLibrary library;
      ASSERT_TRUE(library.loaded());
    }
    const Bytes merged = ReadFileBytes(pendingPath);
    EXPECT_TRUE(DecodeLog(merged).whole);
    EXPECT_EQ(MessagesOf(merged), row.after);
    for (const wchar_t* name : {L"error.bf.tmp", L"error.bf.journal", L"error.Profile"}) {
      EXPECT_FALSE(FileExists(data.File(name))) << std::string(name, name + wcslen(name));
    }
  }
}

}  // namespace
