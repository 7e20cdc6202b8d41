// The roll-over reads the staged day's log through this view: on the local
// disk the file's own pages, held so that no one changes or removes the file
// until the view lets it go.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "storage/whole_file_view.h"
#include "support/temp_data_folder.h"

using namespace suite;

using Bytes = std::vector<unsigned char>;

TEST(WholeFileViewTest, HoldsTheWholeFileOrNothingUntilClosed) {
  const struct {
    const char* name;
    std::optional<Bytes> file;  // none: no file
    LONGLONG nMaxBytes;
    bool bOpened, bMapped;
  } rows[] = {
      {"records on the local disk are mapped", Bytes(70000, 0x5A), 70000, true, true},
      {"an empty file has nothing to map", Bytes{}, 100, true, false},
      {"one byte over the limit", Bytes(101, 1), 100, false, false},
      {"no file", std::nullopt, 100, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDataFolder folder;
    const std::wstring path = folder.File(L"error.bf.tmp");
    if (row.file) {
      ASSERT_TRUE(WriteFileBytes(path, *row.file));
    }
    WholeFileView view;
    ASSERT_EQ(view.Open(path.c_str(), row.nMaxBytes), row.bOpened);
    EXPECT_EQ(view.mapped(), row.bMapped);
    EXPECT_EQ(Bytes(view.data(), view.data() + view.size()), row.bOpened ? *row.file : Bytes{});
    if (!row.bOpened) continue;
    // Held: no writer gets in, and the file cannot go, until the view closes.
    const HANDLE hWriter = CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(hWriter, INVALID_HANDLE_VALUE);
    if (hWriter != INVALID_HANDLE_VALUE) CloseHandle(hWriter);
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    view.Close();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
  }
}
