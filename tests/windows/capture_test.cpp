// Logging entry points and the record append, against the real loader,
// file sharing and the utility library.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "format/log_accounts.h"
#include "support/log_file_view.h"
#include "support/log_library.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

DWORD RunHost(const std::wstring& arguments) { return RunProgram(L"a.exe", arguments); }

class CaptureTest : public ::testing::Test {
 protected:
  DecodedLog ActiveLog() const { return DecodeLog(ReadFileBytes(ActivePath())); }
  std::wstring ActivePath() const { return m_folder.File(L"error.Profile"); }

  TempDataFolder m_folder;
};

TEST_F(CaptureTest, HostErrorRecordIsByteExact) {
  WriteIni(m_folder.path(), L"General", L"ProductVersion", L"2.1.0.4");
  ASSERT_EQ(RunHost(L""), 0u);
  std::vector<unsigned char> bytes = ReadFileBytes(ActivePath());
  ASSERT_EQ(bytes.size(), 292u);
  const unsigned char fileHeader[12] = {'.', 'E', 'R', 'R', 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(0, memcmp(bytes.data(), fileHeader, 12));

  DecodedLog log = DecodeLog(bytes);
  ASSERT_TRUE(log.whole);
  ASSERT_EQ(log.records.size(), 1u);
  const LogRecordHeader& h = log.records[0].header;
  EXPECT_EQ(h.HeaderSize, 248u);
  EXPECT_EQ(h.FormatTag, 4u);
  EXPECT_EQ(h.Kind, 1u);
  EXPECT_EQ(h.Reserved, 0u);
  EXPECT_EQ(h.ErrorCode, 20000);
  EXPECT_EQ(h.StringBytes, 32u);
  EXPECT_EQ(h.AppNameBytes, 12u);
  EXPECT_EQ(h.ModuleNameBytes, 12u);
  EXPECT_EQ(h.MessageBytes, 8u);
  EXPECT_EQ(h.ValueBytes, 0u);
  EXPECT_EQ(FieldText(h.ProductVersion), u"2.1.0.4");
  EXPECT_EQ(FieldText(h.AppVersion), u"4.3.2.1");
  EXPECT_EQ(FieldText(h.ModuleVersion), u"4.3.2.1");
  // Fixed fields are zero after their terminator.
  for (size_t i = 8; i < kLogTextFieldChars; ++i) EXPECT_EQ(h.ProductVersion[i], 0);
  const unsigned char strings[32] = {'a', 0,   '.', 0,   'e', 0,   'x', 0,   'e', 0,   0,
                                     0,   'a', 0,   '.', 0,   'e', 0,   'x', 0,   'e', 0,
                                     0,   0,   'a', 0,   'b', 0,   'c', 0,   0,   0};
  EXPECT_EQ(0, memcmp(bytes.data() + 12 + 248, strings, 32));
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(h.Time.Year, now.wYear);
}

TEST_F(CaptureTest, CodesKindsAndValuesAreStoredAsGiven) {
  LogLibrary library;
  ASSERT_TRUE(library.loaded());
  library.logError(nullptr, 0, L"e", nullptr);
  library.logWarning(nullptr, 0, L"w", L"");
  library.logException(nullptr, 0, L"x", L"v");
  library.logError(nullptr, -5, L"", nullptr);
  library.logWarning(nullptr, 7, L"w7", nullptr);
  library.logException(nullptr, static_cast<LONG>(0x80004005), L"x2", nullptr);
  library.logError(nullptr, 1, nullptr, nullptr);  // a null message is logged as empty

  DecodedLog log = ActiveLog();
  ASSERT_TRUE(log.whole);
  ASSERT_EQ(log.records.size(), 7u);
  struct Expected {
    std::uint32_t kind;
    std::int32_t code;
    std::uint32_t valueBytes;
  } expected[] = {{1, 20000, 0}, {2, 10000, 2}, {3, 30000, 4},
                  {1, -5, 0},    {2, 7, 0},     {3, static_cast<std::int32_t>(0x80004005), 0},
                  {1, 1, 0}};
  for (size_t i = 0; i < 7; ++i) {
    const LogRecordHeader& h = log.records[i].header;
    EXPECT_EQ(h.Kind, expected[i].kind) << i;
    EXPECT_EQ(h.ErrorCode, expected[i].code) << i;
    EXPECT_EQ(h.ValueBytes, expected[i].valueBytes) << i;
    EXPECT_EQ(h.Reserved, 0u) << i;
    EXPECT_EQ(h.StringBytes, h.AppNameBytes + h.ModuleNameBytes + h.MessageBytes + h.ValueBytes);
  }
  EXPECT_FALSE(log.records[0].value.has_value());
  EXPECT_EQ(log.records[1].value, u"");
  EXPECT_EQ(log.records[2].value, u"v");
  EXPECT_EQ(log.records[3].header.MessageBytes, 2u);
  EXPECT_EQ(log.records[6].header.MessageBytes, 2u);
}

TEST_F(CaptureTest, ModuleIdentityComesFromTheHandleOrTheHost) {
  LogLibrary library;
  ASSERT_TRUE(library.loaded());
  UniqueModule probe;
  probe.reset(LoadLibraryW((ProgramFolder() + L"\\probe_module.dll").c_str()));
  ASSERT_TRUE(probe);
  library.logError(nullptr, 0, L"host", nullptr);
  library.logError(probe.get(), 0, L"probe", nullptr);

  DecodedLog log = ActiveLog();
  ASSERT_EQ(log.records.size(), 2u);
  const DecodedRecord& host = log.records[0];
  EXPECT_EQ(host.appName, u"capture_tests.exe");
  EXPECT_EQ(host.moduleName, host.appName);
  EXPECT_EQ(FieldText(host.header.ModuleVersion), FieldText(host.header.AppVersion));
  EXPECT_EQ(FieldText(host.header.AppVersion), u"4.3.2.1");

  const DecodedRecord& module = log.records[1];
  EXPECT_EQ(module.appName, u"capture_tests.exe");
  EXPECT_EQ(module.moduleName, u"probe_module.dll");
  EXPECT_EQ(FieldText(module.header.ModuleVersion), u"3.2.1.0");
  EXPECT_EQ(FieldText(module.header.AppVersion), u"4.3.2.1");
}

TEST_F(CaptureTest, HeaderIsWrittenOnlyIntoAnEmptyFile) {
  ASSERT_TRUE(WriteFileBytes(ActivePath(), {}));
  {
    LogLibrary library;
    library.logWarning(nullptr, 0, L"first", nullptr);
  }
  DecodedLog first = ActiveLog();
  ASSERT_TRUE(first.whole);
  ASSERT_EQ(first.records.size(), 1u);
  {
    LogLibrary library;
    library.logWarning(nullptr, 0, L"second", nullptr);
  }
  DecodedLog second = ActiveLog();
  ASSERT_TRUE(second.whole);
  ASSERT_EQ(second.records.size(), 2u);
  EXPECT_EQ(second.records[1].message, u"second");
}

TEST_F(CaptureTest, FileHeldByAnotherWriterDropsTheRecordAfterABoundedWait) {
  LogLibrary library;
  library.logError(nullptr, 0, L"before", nullptr);
  std::vector<unsigned char> before = ReadFileBytes(ActivePath());
  HANDLE holder = CreateFileW(ActivePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  auto start = std::chrono::steady_clock::now();
  library.logError(nullptr, 0, L"dropped", nullptr);
  auto elapsed = std::chrono::steady_clock::now() - start;
  CloseHandle(holder);
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
  EXPECT_EQ(ReadFileBytes(ActivePath()), before);
}

TEST_F(CaptureTest, NoDataFolderMeansEveryRecordIsDropped) {
  wchar_t appData[MAX_PATH] = {};
  GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
  SetEnvironmentVariableW(L"CRT_DATA_DIR", nullptr);
  SetEnvironmentVariableW(L"APPDATA", nullptr);
  {
    LogLibrary library;
    ASSERT_TRUE(library.loaded());
    library.logError(nullptr, 0, L"nowhere", nullptr);
  }
  SetEnvironmentVariableW(L"APPDATA", appData);
  SetEnvironmentVariableW(L"CRT_DATA_DIR", m_folder.path().c_str());
  EXPECT_FALSE(FileExists(ActivePath()));
  EXPECT_FALSE(FileExists(ProgramFolder() + L"\\error.Profile"));
}

TEST_F(CaptureTest, ThreadsOfOneProcessLoseNoRecord) {
  LogLibrary library;
  constexpr int kThreads = 6;
  constexpr int kRecords = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRecords; ++i) {
        std::wstring message = L"t" + std::to_wstring(t) + L"-" + std::to_wstring(i);
        library.logError(nullptr, t * 1000 + i + 1, message.c_str(), L"v");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  DecodedLog log = ActiveLog();
  ASSERT_TRUE(log.whole);
  std::set<std::int32_t> codes;
  for (const DecodedRecord& record : log.records) codes.insert(record.header.ErrorCode);
  EXPECT_EQ(log.records.size(), static_cast<size_t>(kThreads * kRecords));
  EXPECT_EQ(codes.size(), static_cast<size_t>(kThreads * kRecords));
}

TEST_F(CaptureTest, TwoProcessesNeverInterleaveRecords) {
  std::thread other([] { RunHost(L"150 second-"); });
  DWORD code = RunHost(L"150 first-");
  other.join();
  EXPECT_EQ(code, 0u);
  DecodedLog log = ActiveLog();
  ASSERT_TRUE(log.whole);
  EXPECT_GT(log.records.size(), 150u);
  EXPECT_LE(log.records.size(), 300u);
  for (const DecodedRecord& record : log.records) {
    EXPECT_TRUE(record.message.starts_with(u"first-") || record.message.starts_with(u"second-"));
    EXPECT_EQ(record.value, u"value");
  }
}

}  // namespace

namespace {

// A record as big as an empty day's log takes below the accounts' reserve,
// whatever texts it is given: bigger, it could never be kept.
TEST_F(CaptureTest, TextsBeyondTheCapAreCutToAWholeRecordWithinIt) {
  const std::wstring huge(14 * 1024 * 1024, L'm');  // 28 MiB of message
  const wchar_t* values[] = {nullptr, L"v", huge.c_str()};
  for (const wchar_t* value : values) {
    DeleteFileW(ActivePath().c_str());
    {
      LogLibrary library;
      library.logError(nullptr, 0, huge.c_str(), value);
    }
    const DecodedLog log = ActiveLog();
    ASSERT_TRUE(log.whole);
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_LE(ReadFileBytes(ActivePath()).size(), static_cast<std::size_t>(kLogRecordLimit));
    EXPECT_GE(log.records[0].message.size(), static_cast<std::size_t>(kLogRecordLimit / 4 - 1024));
    EXPECT_EQ(log.records[0].message.find_first_not_of(u'm'), std::u16string::npos);
    EXPECT_EQ(log.records[0].value.has_value(), value != nullptr);
    if (value != nullptr && value != huge.c_str()) {
      EXPECT_EQ(*log.records[0].value, u"v");
    }
  }
}

}  // namespace
