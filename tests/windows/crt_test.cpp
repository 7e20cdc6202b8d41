// crt.dll: ordinal-only exports and the behaviour its callers rely on.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Win/unique_resource.h"
#include "crt_api.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

class CrtTest : public ::testing::Test {
 protected:
  TempDataFolder m_folder;
};

TEST_F(CrtTest, OperationsAreExportedByOrdinalOnly) {
  HMODULE crt = GetModuleHandleW(L"crt.dll");
  ASSERT_NE(crt, nullptr);
  for (int ordinal : {27, 29, 34, 37, 46, 51, 56, 64, 65, 68, 73, 101}) {
    EXPECT_NE(GetProcAddress(crt, MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
  }
  EXPECT_EQ(GetProcAddress(crt, "GetConfigString"), nullptr);
  EXPECT_EQ(GetProcAddress(crt, "OpenFileHandle"), nullptr);
}

TEST_F(CrtTest, DataFolderPathsAndSettings) {
  wchar_t path[260];
  ASSERT_TRUE(GetDataFilePath(L"error.bf", path, 260, 4, 0, 0));
  EXPECT_EQ(std::wstring(path), m_folder.File(L"error.bf"));

  // A path that does not fit is not handed out cut short.
  wchar_t small[8];
  EXPECT_FALSE(GetDataFilePath(L"error.bf", small, 8, 4, 0, 0));
  EXPECT_EQ(small[0], L'\0');

  wchar_t value[260] = {};
  EXPECT_FALSE(GetConfigString(L"LogErrorDate", value, sizeof(value), 1));
  ASSERT_TRUE(SetConfigString(L"LogErrorDate", L"2011.07.26", 1));
  ASSERT_TRUE(GetConfigString(L"LogErrorDate", value, sizeof(value), 1));
  EXPECT_EQ(std::wstring(value), L"2011.07.26");
  EXPECT_EQ(ReadIni(m_folder.path(), L"General", L"LogErrorDate"), L"2011.07.26");
  SetConfigString(L"Empty", L"", 1);
  EXPECT_TRUE(GetConfigString(L"Empty", value, sizeof(value), 1));
  EXPECT_EQ(value[0], L'\0');

  // Cut to the buffer's byte size, terminator included.
  wchar_t four[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_TRUE(GetConfigString(L"LogErrorDate", four, sizeof(four), 1));
  EXPECT_EQ(std::wstring(four), L"201");

  EXPECT_EQ(GetConfigInt(L"LogControl", L"SendError", 1, 1), 1);
  // Read as the platform's profile API reads integers: decimal.
  const struct {
    const wchar_t* text;
    int value;
  } numbers[] = {{L"0", 0}, {L"08", 8}, {L"010", 10}, {L"0x10", 0}, {L"-3", -3}, {L"x", 1}};
  for (const auto& n : numbers) {
    WriteIni(m_folder.path(), L"LogControl", L"SendError", n.text);
    EXPECT_EQ(GetConfigInt(L"LogControl", L"SendError", 1, 1), n.value) << n.text;
  }
}

TEST_F(CrtTest, DateMarksAndClientIdentifier) {
  EXPECT_FALSE(IsDateMarkCurrent(L"SendErrorDate"));
  WriteIni(m_folder.path(), L"DateMarks", L"SendErrorDate", L"2011.07.26");
  EXPECT_FALSE(IsDateMarkCurrent(L"SendErrorDate"));
  ASSERT_TRUE(SetDateMark(L"SendErrorDate"));
  EXPECT_TRUE(IsDateMarkCurrent(L"SendErrorDate"));
  EXPECT_EQ(ReadIni(m_folder.path(), L"DateMarks", L"SendErrorDate"), TodayText());

  wchar_t first[260] = {};
  wchar_t second[260] = {};
  ASSERT_TRUE(GetClientUuid(first, 260));
  ASSERT_TRUE(GetClientUuid(second, 260));
  EXPECT_EQ(wcslen(first), 38u);
  EXPECT_EQ(first[0], L'{');
  EXPECT_EQ(std::wstring(first), std::wstring(second));
}

// settings.ini is written back whole: processes writing at once must still
// keep every key, and agree on the one client identifier.
TEST_F(CrtTest, ProcessesAtOnceShareOneClientIdAndLoseNoSetting) {
  constexpr int kProcesses = 4;
  constexpr int kKeys = 10;
  UniqueKernelHandle start = UniqueKernelHandle::Adopt(
      CreateEventW(nullptr, TRUE, FALSE, L"Local\\PlayerSuite.Test.Start"));
  ASSERT_TRUE(start);
  std::vector<std::thread> processes;
  for (int p = 0; p < kProcesses; ++p) {
    processes.emplace_back([p] {
      EXPECT_EQ(RunProgram(L"crt_host.exe", std::to_wstring(p) + L" " + std::to_wstring(kKeys)),
                0u);
    });
  }
  Sleep(1500);  // all of them started and waiting
  SetEvent(start.get());
  for (std::thread& process : processes) process.join();

  const std::wstring uuid = ReadIni(m_folder.path(), L"Client", L"Uuid");
  EXPECT_EQ(uuid.size(), 38u);
  for (int p = 0; p < kProcesses; ++p) {
    for (int k = 0; k < kKeys; ++k) {
      const std::wstring key = L"P" + std::to_wstring(p) + L"." + std::to_wstring(k);
      EXPECT_EQ(ReadIni(m_folder.path(), L"General", key.c_str()), uuid) << p << "." << k;
    }
  }
  EXPECT_FALSE(FileExists(m_folder.File(L"settings.ini.new")));
}

TEST_F(CrtTest, VersionTexts) {
  wchar_t version[64];
  ASSERT_TRUE(GetFileVersionText((ProgramFolder() + L"\\probe_module.dll").c_str(), version, 64));
  EXPECT_EQ(std::wstring(version), L"3.2.1.0");
  wchar_t tiny[4];
  GetFileVersionText((ProgramFolder() + L"\\probe_module.dll").c_str(), tiny, 4);
  EXPECT_EQ(std::wstring(tiny), L"3.2");
  EXPECT_FALSE(GetFileVersionText(m_folder.File(L"none.dll").c_str(), version, 64));
  EXPECT_EQ(version[0], L'\0');

  wchar_t product[260];
  ASSERT_TRUE(GetProductVersion(product, 260, 1));
  EXPECT_EQ(std::wstring(product), L"1.0.0.0");  // crt.dll's own file version
  WriteIni(m_folder.path(), L"General", L"ProductVersion", L"9.8.7.6");
  ASSERT_TRUE(GetProductVersion(product, 260, 1));
  EXPECT_EQ(std::wstring(product), L"9.8.7.6");
}

TEST_F(CrtTest, FilesAndReportPaths) {
  std::wstring nested = m_folder.path() + L"\\a\\b\\c.bin";
  HANDLE file = OpenFileHandle(nested.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr, 1);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "12345", 5, &written, nullptr);
  CloseHandle(file);
  LONGLONG size = 0;
  ASSERT_TRUE(GetFileSize64(nested.c_str(), &size));
  EXPECT_EQ(size, 5);
  size = -7;
  EXPECT_FALSE(GetFileSize64(m_folder.File(L"missing").c_str(), &size));
  EXPECT_EQ(size, -7);
  // Without the flag no folder is created.
  EXPECT_EQ(OpenFileHandle((m_folder.path() + L"\\x\\y.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, 0, nullptr, 0),
            INVALID_HANDLE_VALUE);

  struct {
    const wchar_t* before;
    const wchar_t* after;
  } cases[] = {{L"D:\\Reports\\LogError.xml", L"D:\\Reports\\LogError_"},
               {L"C:\\x\\report.XmL", L"C:\\x\\report_"},
               {L"\\LogError.xml", L"\\LogError_"},
               {L"C:\\x\\report.txt", L"C:\\x\\report.txt"},
               {L"xml", L"xml"},
               {L"", L""}};
  for (const auto& c : cases) {
    wchar_t text[64];
    wcscpy(text, c.before);
    PrepareReportPath(text);
    EXPECT_EQ(std::wstring(text), c.after) << c.before;
  }
}

}  // namespace
