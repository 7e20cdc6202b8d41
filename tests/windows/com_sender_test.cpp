// The sender object against a real data folder, crt.dll and the XML DOM: the
// send permission, report delivery and saving, and the upload cycle that must
// remove exactly what was reported.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "com_test_helpers.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

using Bytes = std::vector<unsigned char>;

const BSTR kUntouched = reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(0x5A5A5A5A));

Bytes FileWith(std::initializer_list<const char16_t*> messages) {
  logtest::LogBytesBuilder builder;
  for (const char16_t* message : messages) builder.Record(logtest::RecordFields().Message(message));
  return builder.Bytes();
}

// Records without a file header, as a roll-over appends them.
Bytes RecordsOnly(std::initializer_list<const char16_t*> messages) {
  Bytes bytes = FileWith(messages);
  bytes.erase(bytes.begin(), bytes.begin() + sizeof(LogFileHeader));
  return bytes;
}

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::vector<std::wstring> ReportFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\LogError_*.xml").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

class ComSenderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.loaded()); }

  std::wstring PendingPath() const { return m_folder.File(L"error.bf"); }
  void WritePending(const Bytes& bytes) { ASSERT_TRUE(WriteFileBytes(PendingPath(), bytes)); }
  Bytes Pending() const { return ReadFileBytes(PendingPath()); }

  void SetSendError(const wchar_t* value) {
    WriteIni(m_folder.path(), L"LogControl", L"SendError", value);
  }
  void SetSendMark(const wchar_t* value) {
    WriteIni(m_folder.path(), L"DateMarks", L"SendErrorDate", value);
  }
  bool SendMarkIsToday() const {
    return ReadIni(m_folder.path(), L"DateMarks", L"SendErrorDate") == TodayText();
  }

  // Delivers one report from a new object, which it returns for the cycle.
  ComPtr<IKRLogSender> SenderWithReport(std::wstring* text = nullptr) {
    ComPtr<IKRLogSender> sender = m_server.CreateSender();
    UniqueBstr report;
    EXPECT_EQ(sender->GetReport(report.put(), 1), 1);
    if (text != nullptr && report) *text = report.get();
    return sender;
  }

  TempDataFolder m_folder;
  ComApartment m_apartment;
  ComServer m_server;
};

// Every argument combination under one setting; permitted or not.
void ExpectPermission(const ComServer& server, HRESULT permission, const char* setting) {
  SCOPED_TRACE(setting);
  const HRESULT noReport = permission == -1 ? -1 : 0;
  EXPECT_EQ(server.CreateSender()->GetReport(nullptr, 1), permission);
  EXPECT_EQ(server.CreateSender()->GetReport(nullptr, 0), permission);
  for (LONG build : {0L, -1L, LONG_MIN}) {
    BSTR report = kUntouched;
    EXPECT_EQ(server.CreateSender()->GetReport(&report, build), noReport) << build;
    EXPECT_EQ(report, kUntouched) << build;
  }
  UniqueBstr report;
  EXPECT_EQ(server.CreateSender()->GetReport(report.put(), 1), permission);
  EXPECT_EQ(report.valid(), permission == 1);
}

TEST_F(ComSenderTest, PermissionFollowsTheSwitchAndTheSendMark) {
  WritePending(FileWith({u"one"}));
  ExpectPermission(m_server, 1, "nothing set");
  SetSendError(L"1");
  ExpectPermission(m_server, 1, "SendError 1");
  SetSendMark(L"2001.01.01");
  ExpectPermission(m_server, 1, "old send mark");
  SetSendMark(TodayText().c_str());
  ExpectPermission(m_server, -1, "current send mark");
  SetSendError(L"0");
  ExpectPermission(m_server, -1, "SendError 0 and current send mark");
  SetSendMark(nullptr);
  ExpectPermission(m_server, -1, "SendError 0");
}

TEST_F(ComSenderTest, EachObjectDeliversOneReport) {
  UniqueBstr report;
  EXPECT_EQ(m_server.CreateSender()->GetReport(report.put(), 1), 0) << "no pending log file";
  WritePending(FileWith({}));
  EXPECT_EQ(m_server.CreateSender()->GetReport(report.put(), 1), 0) << "header only";
  EXPECT_FALSE(report);

  WritePending(FileWith({u"first", u"second"}));
  ComPtr<IKRLogSender> sender = m_server.CreateSender();
  ASSERT_EQ(sender->GetReport(report.put(), 1), 1);
  const std::wstring text = report.get();
  EXPECT_NE(text.find(L"<Log_Error"), std::wstring::npos);
  EXPECT_NE(text.find(L"second"), std::wstring::npos);
  BSTR again = kUntouched;
  EXPECT_EQ(sender->GetReport(&again, 1), 0);
  EXPECT_EQ(again, kUntouched);
  EXPECT_EQ(sender->GetReport(nullptr, 1), 1) << "the permission is still answered";
  EXPECT_EQ(m_server.CreateSender()->GetReport(report.put(), 1), 1) << "a new object reads again";
  EXPECT_EQ(Pending(), FileWith({u"first", u"second"})) << "reading changes nothing";
}

TEST_F(ComSenderTest, SaveReportWritesIntoTheGivenOrTheDataFolder) {
  ComPtr<IKRLogSender> sender = m_server.CreateSender();
  EXPECT_EQ(sender->SaveReport(nullptr), E_FAIL) << "no pending log file";
  WritePending(FileWith({u"saved"}));
  SetSendMark(TodayText().c_str());  // saving does not ask for permission

  EXPECT_EQ(sender->SaveReport(nullptr), S_OK);
  EXPECT_EQ(ReportFiles(m_folder.path()).size(), 1u);
  EXPECT_EQ(sender->SaveReport(nullptr), S_OK) << "each call reads afresh";

  const std::wstring target = m_folder.File(L"out");
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  UniqueBstr folder = UniqueBstr::Adopt(SysAllocString(target.c_str()));
  EXPECT_EQ(sender->SaveReport(folder.get()), S_OK);
  EXPECT_EQ(ReportFiles(target).size(), 1u);

  // An empty folder text is used as it is: the report path "\LogError.xml"
  // names the root of the current drive (here the test prefix's drive C:).
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(m_folder.path().c_str()));
  UniqueBstr empty = UniqueBstr::Adopt(SysAllocString(L""));
  EXPECT_EQ(sender->SaveReport(empty.get()), S_OK);
  SetCurrentDirectoryW(previous);
  const std::wstring driveRoot = m_folder.path().substr(0, 2);
  std::vector<std::wstring> atRoot = ReportFiles(driveRoot);
  EXPECT_EQ(atRoot.size(), 1u);
  for (const std::wstring& name : atRoot) DeleteFileW((driveRoot + L"\\" + name).c_str());

  EXPECT_EQ(Pending(), FileWith({u"saved"})) << "saving removes nothing";
  EXPECT_EQ(sender->GetReport(nullptr, 0), -1) << "and sets no mark of its own";
}

TEST_F(ComSenderTest, UploadCycleRemovesExactlyWhatWasReported) {
  WritePending(FileWith({u"reported-1", u"reported-2"}));
  ComPtr<IKRLogSender> sender = SenderWithReport();
  EXPECT_EQ(sender->MarkReportSent(), S_OK);
  EXPECT_FALSE(FileExists(PendingPath()));
  EXPECT_TRUE(SendMarkIsToday());
  EXPECT_EQ(m_server.CreateSender()->GetReport(nullptr, 0), -1);

  // Records merged in after the report was read stay, behind a fresh header.
  SetSendMark(nullptr);
  WritePending(FileWith({u"reported"}));
  sender = SenderWithReport();
  WritePending(Concat(Pending(), RecordsOnly({u"merged-1", u"merged-2"})));
  EXPECT_EQ(sender->MarkReportSent(), S_OK);
  EXPECT_EQ(Pending(), FileWith({u"merged-1", u"merged-2"}));
  EXPECT_EQ(sender->MarkReportSent(), S_OK) << "a second call finds its bytes gone";
  EXPECT_EQ(Pending(), FileWith({u"merged-1", u"merged-2"}));

  SetSendMark(nullptr);
  std::wstring text;
  sender = SenderWithReport(&text);
  EXPECT_NE(text.find(L"merged-2"), std::wstring::npos);
  EXPECT_EQ(text.find(L"reported"), std::wstring::npos);
}

TEST_F(ComSenderTest, MarkReportSentLeavesOtherFilesAlone) {
  const Bytes original = FileWith({u"never-read"});
  WritePending(original);
  EXPECT_EQ(m_server.CreateSender()->MarkReportSent(), S_OK);
  EXPECT_TRUE(SendMarkIsToday()) << "the mark is set in every case";
  EXPECT_EQ(Pending(), original) << "a fresh object read nothing";

  SetSendMark(nullptr);
  ComPtr<IKRLogSender> queried = m_server.CreateSender();
  EXPECT_EQ(queried->GetReport(nullptr, 1), 1);
  EXPECT_EQ(queried->MarkReportSent(), S_OK);
  EXPECT_EQ(Pending(), original) << "a permission query read nothing";

  // Replaced after the report was read (a roll-over started afresh).
  SetSendMark(nullptr);
  ComPtr<IKRLogSender> sender = SenderWithReport();
  const Bytes replaced = FileWith({u"other"});
  WritePending(replaced);
  EXPECT_EQ(sender->MarkReportSent(), S_OK);
  EXPECT_EQ(Pending(), replaced);

  // Held by a writer for longer than the short wait.
  SetSendMark(nullptr);
  sender = SenderWithReport();
  UniqueFileHandle writer = UniqueFileHandle::Adopt(CreateFileW(
      PendingPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sender->MarkReportSent(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  writer.reset();
  EXPECT_EQ(Pending(), replaced);
  EXPECT_TRUE(SendMarkIsToday());
}

}  // namespace
