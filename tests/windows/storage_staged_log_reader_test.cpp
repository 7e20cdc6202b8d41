// The roll-over reads the staged day's log through this reader: piece by
// piece into one buffer, never mapped, with the file held so that no one
// changes or removes it until the reader lets it go.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "storage/staged_log_reader.h"
#include "support/temp_data_folder.h"

using namespace suite;

using Bytes = std::vector<unsigned char>;

TEST(StagedLogReaderTest, CopiesTheWholeFileInOrderAndHoldsItUntilClosed) {
  Bytes large(kStagedReadBytes * 2 + 4099);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>(i * 7 / 5);
  const struct {
    const char* name;
    std::optional<Bytes> file;  // none: no file
    LONGLONG nMaxBytes;
    bool bOpened;
  } rows[] = {
      {"more than two buffers", large, static_cast<LONGLONG>(large.size()), true},
      {"an empty file", Bytes{}, 100, true},
      {"one byte over the limit", Bytes(101, 1), 100, false},
      {"no file", std::nullopt, 100, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder folder;
    const std::wstring path = folder.File(L"error.bf.tmp");
    const std::wstring copy = folder.File(L"copy.bin");
    if (row.file) {
      ASSERT_TRUE(WriteFileBytes(path, *row.file));
    }
    StagedLogReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), row.nMaxBytes), row.bOpened);
    if (!row.bOpened) continue;
    EXPECT_EQ(reader.size(), row.file->size());
    {
      UniqueFileHandle target = UniqueFileHandle::Adopt(
          CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      // Out of order first: the reader seeks back.
      if (reader.size() > 10) {
        EXPECT_NE(reader.ReadAt(reader.size() - 10, 10), nullptr);
      }
      EXPECT_TRUE(reader.CopyTo(target.get(), 0, reader.size()));
      EXPECT_EQ(reader.ReadAt(0, reader.size() + 1), nullptr);
    }
    EXPECT_EQ(ReadFileBytes(copy), *row.file);
    // Held: no writer gets in, and the file cannot go, until the reader closes.
    const HANDLE hWriter = CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(hWriter, INVALID_HANDLE_VALUE);
    if (hWriter != INVALID_HANDLE_VALUE) CloseHandle(hWriter);
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    reader.Close();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
  }
}
