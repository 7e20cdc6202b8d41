// Damaged and hostile pending logs through the whole report path: the sender
// object's GetReport and SaveReport, in process, against the real DOM. Each
// file must end cleanly (no crash, an honest result), and a report that is
// delivered must be well-formed XML holding every record whose bytes are
// intact, and nothing that was never a record.
#include <windows.h>
#include <gtest/gtest.h>
#include <msxml2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "com_test_helpers.h"
#include "report/msxml_ids.h"
#include "support/dom_walk.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using Bytes = std::vector<std::uint8_t>;
using logtest::RecordBytes;
using logtest::RecordFields;

// One hostile file and what its report must and may hold, by message.
struct HostileFile {
  std::string name;
  Bytes bytes;
  std::set<std::wstring> required;  // intact records: a report must hold them
  std::set<std::wstring> allowed;   // damaged records may still be read, whole or cut at a zero
};

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// A log built from records, remembering where each one lies.
struct LogLayout {
  Bytes bytes;
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset, length of each record
  std::vector<std::wstring> messages;
};

LogLayout Layout(const std::vector<RecordFields>& records) {
  LogLayout layout;
  layout.bytes = logtest::LogBytesBuilder().Bytes();
  for (const RecordFields& fields : records) {
    const Bytes record = RecordBytes(fields);
    layout.spans.emplace_back(layout.bytes.size(), record.size());
    layout.bytes.insert(layout.bytes.end(), record.begin(), record.end());
    layout.messages.push_back(Wide(fields.message));
  }
  return layout;
}

// Four records of different shapes: with a value, without, with an empty one.
LogLayout FourRecords() {
  return Layout({RecordFields().Message(u"first").Value(u"C:\\a.mp3"),
                 RecordFields().Kind(2).Code(7).Message(u"second"),
                 RecordFields().Kind(3).Code(30000).Message(u"third").Value(u""),
                 RecordFields().Message(u"fourth").App(u"P").Module(u"M")});
}

// A record whose bytes changed may be read as it is now: its texts end at
// their first zero, so its message may come back cut short.
void AllowCut(std::set<std::wstring>& allowed, const std::wstring& message) {
  for (std::size_t n = 0; n <= message.size(); ++n) allowed.insert(message.substr(0, n));
}

// Sorts the records of `original` into required and allowed by whether the
// damaged bytes still hold each one unchanged. A record with bytes missing
// is never a record; one with bytes changed may still be read.
HostileFile Judged(std::string name, const LogLayout& original, Bytes damaged) {
  HostileFile file{std::move(name), std::move(damaged), {}, {}};
  for (std::size_t i = 0; i < original.spans.size(); ++i) {
    const auto [offset, length] = original.spans[i];
    const bool bIntact =
        offset + length <= file.bytes.size() &&
        std::equal(original.bytes.begin() + offset, original.bytes.begin() + offset + length,
                   file.bytes.begin() + offset);
    if (bIntact) {
      file.required.insert(original.messages[i]);
    } else if (offset + length <= file.bytes.size()) {
      AllowCut(file.allowed, original.messages[i]);
    }
  }
  return file;
}

void TruncatedAtEveryOffset(std::vector<HostileFile>& files) {
  const LogLayout log = FourRecords();
  const auto [last, length] = log.spans.back();
  for (std::size_t cut = last; cut < last + length; ++cut) {
    files.push_back(Judged("cut at " + std::to_string(cut), log,
                           Bytes(log.bytes.begin(), log.bytes.begin() + cut)));
  }
}

// A record cut short with later records written after it: a writer that died
// mid-write, and a file put together from the pieces.
void TornInTheMiddleAtEveryOffset(std::vector<HostileFile>& files) {
  const LogLayout log = FourRecords();
  const auto [second, length] = log.spans[1];
  // Only even lengths: a record is written in whole code units, and a cut
  // at an odd length leaves the records behind it at odd offsets, which the
  // reader does not look for.
  for (std::size_t kept = 0; kept < length; kept += 2) {
    Bytes bytes(log.bytes.begin(), log.bytes.begin() + second + kept);
    bytes.insert(bytes.end(), log.bytes.begin() + second + length, log.bytes.end());
    HostileFile file{"second record torn after " + std::to_string(kept) + " bytes", bytes, {}, {}};
    file.required = {L"first", L"third", L"fourth"};
    files.push_back(std::move(file));
  }
}

void ZeroFilledSpans(std::vector<HostileFile>& files) {
  const LogLayout log = FourRecords();
  const std::size_t second = log.spans[1].first;
  const std::size_t starts[] = {0,
                                6,
                                12,
                                12 + 20,
                                12 + 100,
                                12 + 248,
                                second - 2,
                                second - 100,
                                second + 4,
                                second + 248 + 6,
                                log.spans[3].first + 248};
  for (std::size_t start : starts) {
    for (std::size_t length : {2u, 12u, 64u, 248u, 600u, 4096u}) {
      Bytes bytes = log.bytes;
      std::fill(bytes.begin() + start, bytes.begin() + std::min(bytes.size(), start + length), 0);
      files.push_back(
          Judged(std::to_string(length) + " zero bytes at " + std::to_string(start), log, bytes));
    }
  }
  // The zeros a power loss leaves between two records, and a file of nothing
  // but zeros.
  for (std::size_t length : {2u, 12u, 248u, 4096u}) {
    Bytes bytes = log.bytes;
    bytes.insert(bytes.begin() + second, length, 0);
    HostileFile file{std::to_string(length) + " zero bytes between records", bytes, {}, {}};
    file.required = {L"first", L"second", L"third", L"fourth"};
    files.push_back(std::move(file));
  }
  files.push_back({"only zeros", Bytes(4096, 0), {}, {}});
}

// Length fields of the second and the last record, one at a time.
void BadLengthFields(std::vector<HostileFile>& files) {
  const LogLayout log = FourRecords();
  const struct {
    const char* name;
    std::size_t offset;
  } fields[] = {{"HeaderSize", 0},       {"StringBytes", 20},  {"AppNameBytes", 24},
                {"ModuleNameBytes", 28}, {"MessageBytes", 32}, {"ValueBytes", 36}};
  for (std::size_t record : {1u, 3u}) {
    for (const auto& field : fields) {
      const std::size_t at = log.spans[record].first + field.offset;
      std::uint32_t original = 0;
      std::memcpy(&original, log.bytes.data() + at, sizeof(original));
      const std::pair<const char*, std::uint32_t> values[] = {
          {"0", 0},
          {"odd", original + 1},
          {"one less", original - 1},
          {"all ones", 0xFFFFFFFF},
          {"2^31 - 1", (1u << 31) - 1},
          {"wrapped", original + 0x80000000u},
      };
      for (const auto& [valueName, value] : values) {
        Bytes bytes = log.bytes;
        std::memcpy(bytes.data() + at, &value, sizeof(value));
        files.push_back(Judged(
            std::string(field.name) + " " + valueName + " in record " + std::to_string(record + 1),
            log, bytes));
      }
    }
    // Two lengths that each grow by 2^31 add up, in 32 bits, to StringBytes.
    Bytes bytes = log.bytes;
    for (std::size_t offset : {24u, 28u}) {
      std::uint32_t value = 0;
      std::memcpy(&value, bytes.data() + log.spans[record].first + offset, sizeof(value));
      value += 0x80000000u;
      std::memcpy(bytes.data() + log.spans[record].first + offset, &value, sizeof(value));
    }
    files.push_back(
        Judged("lengths whose sum wraps in record " + std::to_string(record + 1), log, bytes));
  }
  // A damaged file header hides nothing; another format version is not read.
  for (const auto& [name, header, bRead] :
       {std::tuple{"magic", LogFileHeader{0x12345678, 1, 1}, true},
        std::tuple{"version 0", LogFileHeader{kLogFileMagic, 0, 1}, true},
        std::tuple{"version 2", LogFileHeader{kLogFileMagic, 2, 1}, false},
        std::tuple{"revision 2", LogFileHeader{kLogFileMagic, 1, 2}, false}}) {
    Bytes bytes = log.bytes;
    std::memcpy(bytes.data(), &header, sizeof(header));
    HostileFile file{std::string("file header ") + name, bytes, {}, {}};
    if (bRead) file.required = {L"first", L"second", L"third", L"fourth"};
    files.push_back(std::move(file));
  }
}

// XML 1.0 cannot carry these; the report must replace them, not break.
std::vector<std::u16string> XmlIllegalTexts() {
  std::vector<std::u16string> texts;
  for (char16_t c = 0; c < 0x20; ++c) {
    if (c != u'\t' && c != u'\n' && c != u'\r') texts.push_back(std::u16string(1, c));
  }
  for (char16_t c : {u'\xFFFE', u'\xFFFF'}) texts.push_back(std::u16string(1, c));
  texts.push_back(u"\xD800");  // high surrogate alone
  texts.push_back(u"\xDBFF");
  texts.push_back(u"\xDC00");  // low surrogate alone
  texts.push_back(u"\xDFFF");
  texts.push_back(u"\xDC00\xD800");  // a pair the wrong way round
  return texts;
}

// What the report must say for a text: each code unit XML cannot carry
// becomes U+FFFD, surrogate pairs stay; a text ends at its first zero.
std::wstring AsReported(const std::u16string& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0) break;
    const bool bHigh = c >= 0xD800 && c <= 0xDBFF;
    if (bHigh && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(c);
      out += static_cast<wchar_t>(text[++i]);
      continue;
    }
    const bool bIllegal = (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE ||
                          c == 0xFFFF || (c >= 0xD800 && c <= 0xDFFF);
    out += bIllegal ? L'\xFFFD' : static_cast<wchar_t>(c);
  }
  return out;
}

void XmlIllegalCharacters(std::vector<HostileFile>& files) {
  for (const std::u16string& bad : XmlIllegalTexts()) {
    char name[32];
    std::snprintf(name, sizeof(name), "U+%04X%s", static_cast<unsigned>(bad[0]),
                  bad.size() > 1 ? " U+D800" : "");
    const std::u16string message = u"m" + bad + u"x";
    const Bytes bytes = logtest::LogBytesBuilder()
                            .Record(RecordFields().Message(u"clean"))
                            .Record(RecordFields()
                                        .Message(message)
                                        .Value(u"v" + bad)
                                        .App(u"app" + bad + u".exe", u"2" + bad)
                                        .Module(u"mod" + bad + u".dll", u"3" + bad)
                                        .Product(u"1" + bad))
                            .Bytes();
    files.push_back(
        {std::string("texts with ") + name, bytes, {L"clean", AsReported(message)}, {}});
  }
}

// The families of hostile files, each made of many variants.
const struct {
  const char* family;
  void (*add)(std::vector<HostileFile>&);
} kCorpus[] = {
    {"truncated at every offset of the last record", TruncatedAtEveryOffset},
    {"a record torn in the middle, at every even length", TornInTheMiddleAtEveryOffset},
    {"zero-filled spans", ZeroFilledSpans},
    {"length fields that are 0, odd or wrap", BadLengthFields},
    {"every XML-illegal character in every text", XmlIllegalCharacters},
};

// The Message of every item of a parsed document; false when it is not a
// report document.
bool ReadMessages(IXMLDOMDocument* document, std::multiset<std::wstring>& messages) {
  ComPtr<IXMLDOMElement> root;
  if (document->get_documentElement(root.put()) != S_OK) return false;
  return ForEachChildElement(root.get(), [&](IXMLDOMElement* element) {
    std::optional<std::wstring> message = AttributeOf(element, L"Message");
    if (!message) return false;
    messages.insert(std::move(*message));
    return true;
  });
}

ComPtr<IXMLDOMDocument> NewDocument() {
  ComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                             document.put_void()),
            S_OK);
  return document;
}

// Parses each document of a text-mode report; false when one does not parse.
bool ReadTextReport(const std::wstring& text, std::multiset<std::wstring>& messages,
                    int& documents) {
  std::size_t start = text.find(L"<Log_Error");
  if (start == std::wstring::npos || text.find_first_not_of(L" \t\r\n") != start) return false;
  while (start != std::wstring::npos) {
    const std::size_t next = text.find(L"<Log_Error", start + 1);
    const std::wstring xml = text.substr(start, next - start);
    ComPtr<IXMLDOMDocument> document = NewDocument();
    UniqueBstr source =
        UniqueBstr::Adopt(SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size())));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (!document || FAILED(document->loadXML(source.get(), &loaded)) || loaded != VARIANT_TRUE ||
        !ReadMessages(document.get(), messages)) {
      return false;
    }
    ++documents;
    start = next;
  }
  return true;
}

// Parses every saved report file of the folder, then removes it.
bool ReadSavedReports(const std::wstring& folder, std::multiset<std::wstring>& messages,
                      int& files) {
  bool bParsed = true;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\LogError_*.xml").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return true;
  do {
    const std::wstring path = folder + L"\\" + found.cFileName;
    ComPtr<IXMLDOMDocument> document = NewDocument();
    UniqueVariant source;
    source.adopt_bstr(SysAllocString(path.c_str()));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    bParsed = bParsed && document && SUCCEEDED(document->load(source.get(), &loaded)) &&
              loaded == VARIANT_TRUE && ReadMessages(document.get(), messages);
    ++files;
    DeleteFileW(path.c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return bParsed;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    char hex[12];
    std::snprintf(hex, sizeof(hex), "\\u%04X", static_cast<unsigned>(c));
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return out;
}

// Every required message there, and nothing that is neither required nor allowed.
void ExpectHolds(const std::multiset<std::wstring>& messages, const HostileFile& file,
                 const char* where) {
  for (const std::wstring& required : file.required) {
    EXPECT_TRUE(messages.contains(required)) << where << " lacks " << Narrow(required);
  }
  for (const std::wstring& message : messages) {
    EXPECT_TRUE(file.required.contains(message) || file.allowed.contains(message))
        << where << " holds " << Narrow(message) << ", which no intact record says";
  }
}

class ReportHostileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.loaded());
    ASSERT_TRUE(CreateDirectoryW(m_out.c_str(), nullptr));
  }

  void Check(const HostileFile& file) {
    ASSERT_TRUE(WriteFileBytes(m_folder.File(L"error.bf"), file.bytes));
    ComPtr<IKRLogSender> sender = m_server.CreateSender();
    ASSERT_TRUE(sender);
    UniqueBstr report;
    const HRESULT delivered = sender->GetReport(report.put(), 1);
    UniqueBstr outFolder = UniqueBstr::Adopt(SysAllocString(m_out.c_str()));
    const HRESULT saved = sender->SaveReport(outFolder.get());
    ASSERT_TRUE(delivered == 0 || delivered == 1) << delivered;
    ASSERT_TRUE(saved == S_OK || saved == E_FAIL) << saved;
    const bool bAnyRecord = !file.required.empty() || !file.allowed.empty();
    if (!file.required.empty()) {
      EXPECT_EQ(delivered, 1) << "intact records went unreported";
    }
    if (!bAnyRecord) {
      EXPECT_EQ(delivered, 0) << "a report without a record";
    }

    std::multiset<std::wstring> texts;
    int documents = 0;
    if (delivered == 1) {
      ASSERT_TRUE(report);
      const std::wstring text(report.get(), SysStringLen(report.get()));
      EXPECT_TRUE(ReadTextReport(text, texts, documents)) << "not well-formed: " << Narrow(text);
      ExpectHolds(texts, file, "the report text");
    }
    // Both read the same file: S_OK means every document was saved, E_FAIL
    // that at least one was not.
    std::multiset<std::wstring> saves;
    int files = 0;
    EXPECT_TRUE(ReadSavedReports(m_out, saves, files)) << "a saved report does not parse";
    if (saved == S_OK) {
      EXPECT_EQ(files, documents);
      ExpectHolds(saves, file, "the saved reports");
      EXPECT_EQ(saves, texts) << "saved and delivered reports differ";
    } else {
      EXPECT_LT(files, std::max(documents, 1)) << "E_FAIL, yet every document was saved";
    }
  }

  TempDataFolder m_folder;
  ComApartment m_apartment;
  ComServer m_server;
  const std::wstring m_out = m_folder.File(L"out");
};

TEST_F(ReportHostileTest, EveryHostileFileEndsCleanly) {
  for (const auto& family : kCorpus) {
    std::vector<HostileFile> files;
    family.add(files);
    for (const HostileFile& file : files) {
      SCOPED_TRACE(std::string(family.family) + ": " + file.name);
      Check(file);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
