#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "fold/fold.h"
#include "fold/user_paths.h"
#include "intake/report_builder.h"
#include "intake/thread_seconds.h"

using namespace intake;
using intake::testing::ReportBuilder;
using intake::testing::ThreadSeconds;

namespace {

Upload UploadOf(const ReportBuilder& builder) {
  Upload upload;
  upload.key = "k";
  upload.client = "c";
  upload.bytes = 7;
  upload.documents = builder.Documents();
  return upload;
}

constexpr char kCap[] = "Records were not kept: the day's log reached its size cap";
constexpr char kDrops[] = "Records were not kept: the log was busy or could not be written";
constexpr char kFull[] = "Records were not kept: the pending log was full";
constexpr char kTorn[] = "A record was cut: its writer stopped in the middle of it";

}  // namespace

TEST(FoldTest, EqualItemsAreSummedInOrderOfFirstAppearance) {
  ReportBuilder builder;
  builder.Document("2.0", "u")
      .Item("Error", 5, "m", std::nullopt, 3)
      .Item("Error", 5, "m", std::string(), 4)  // an empty value is a value
      .Item("Error", 5, "m", std::nullopt, 2147483647)
      .Item("Warning", 5, "m", std::nullopt, 1)
      .Item("Error", 5, "m", std::nullopt, 1, "other dll")
      .Document("1.0", "u")
      .Item("Error", 5, "m", std::nullopt, 2)
      .Document("2.0", "u")
      .Item("Error", 5, "m", std::nullopt, 2147483647);
  const Upload upload = UploadOf(builder);
  const FoldedUpload folded = Fold(upload);
  EXPECT_EQ(folded.key, "k");
  EXPECT_EQ(folded.client, "c");
  EXPECT_EQ(folded.bytes, 7u);
  EXPECT_EQ(folded.product_versions, (std::vector<std::string>{"2.0", "1.0"}));
  ASSERT_EQ(folded.items.size(), 5u);
  const std::uint64_t big = 2147483647;
  const std::uint64_t expected[] = {3 + 2 * big, 4, 1, 1, 2};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(folded.items[i].count, expected[i]) << i;
  EXPECT_EQ(folded.items[1].key.value, std::optional<std::string>(""));
  EXPECT_EQ(folded.items[4].key.product_ver, "1.0");
  EXPECT_TRUE(folded.losses.empty());

  // Given away, the upload folds the same.
  const FoldedUpload moved = Fold(UploadOf(builder));
  ASSERT_EQ(moved.items.size(), folded.items.size());
  for (std::size_t i = 0; i < moved.items.size(); ++i) {
    EXPECT_EQ(moved.items[i].key, folded.items[i].key);
    EXPECT_EQ(moved.items[i].count, folded.items[i].count);
  }
}

TEST(FoldTest, UserNamesLeaveProfilePaths) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"C:\\Users\\bob\\Music\\a.mp3", "%USERPROFILE%\\Music\\a.mp3"},
      {"cannot open d:\\USERS\\Bob Smith\\x.avi", "cannot open %USERPROFILE%\\x.avi"},
      {"E:\\Documents and Settings\\alice\\Desktop", "%USERPROFILE%\\Desktop"},
      {"c:\\documents AND settings\\alice\\", "%USERPROFILE%\\"},
      {"C:\\Users\\bob", "%USERPROFILE%"},
      {"\"C:\\Users\\bob\" is gone", "\"%USERPROFILE%\" is gone"},
      {"C:\\Users\\a\\1;D:\\Users\\b\\2", "%USERPROFILE%\\1;%USERPROFILE%\\2"},
      {"\\\\?\\C:\\Users\\bob\\x", "\\\\?\\%USERPROFILE%\\x"},
      {"C:\\Users\\Public\\Music", "C:\\Users\\Public\\Music"},
      {"C:\\Users\\all users\\x", "C:\\Users\\all users\\x"},
      {"C:\\Users\\\\x", "C:\\Users\\\\x"},
      {"C:\\Program Files\\Users\\bob\\", "C:\\Program Files\\Users\\bob\\"},
      {"XC:\\Users\\bob\\", "XC:\\Users\\bob\\"},
      {"C:\\Usersbob\\x", "C:\\Usersbob\\x"},
      {"C:\\", "C:\\"},
      {":\\Users\\bob\\", ":\\Users\\bob\\"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutUserNames(c.text), c.expected) << c.text;

  ReportBuilder builder;
  builder.Item("Error", 1, "open C:\\Users\\bob\\a", "C:\\Users\\bob\\b")
      .Item("Error", 1, "open C:\\Users\\eve\\a", "C:\\Users\\eve\\b");
  const FoldedUpload scrubbed = Fold(UploadOf(builder));
  ASSERT_EQ(scrubbed.items.size(), 1u);
  EXPECT_EQ(scrubbed.items[0].key.message, "open %USERPROFILE%\\a");
  EXPECT_EQ(scrubbed.items[0].key.value, "%USERPROFILE%\\b");
  EXPECT_EQ(scrubbed.items[0].count, 2u);
  EXPECT_EQ(Fold(UploadOf(builder), {.keep_user_paths = true}).items.size(), 2u);
}

TEST(FoldTest, AccountsCountTheirLossesAndStayItems) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const struct {
    const char* name;
    const char* kind;
    std::int32_t code;
    const char* message;
    std::optional<std::string> value;
    std::uint32_t count;
    std::optional<LossCause> cause;  // none: no account
    std::uint64_t lost;
  } cases[] = {
      {"cap", "Warning", 10901, kCap, "0000000042", 2, LossCause::kDayLogCap, 84},
      {"drops", "Warning", 10902, kDrops, "7", 3, LossCause::kDropped, 21},
      {"pending full", "Warning", 10903, kFull, "12 records, 4096 bytes", 2,
       LossCause::kPendingFull, 24},
      {"torn", "Warning", 10904, kTorn, "130", 5, LossCause::kTornRecord, 5},
      {"unreadable value", "Warning", 10902, kDrops, "many", 3, LossCause::kDropped, 3},
      {"no value", "Warning", 10901, kCap, std::nullopt, 1, LossCause::kDayLogCap, 1},
      {"half a left-out text", "Warning", 10903, kFull, "12 records", 1, LossCause::kPendingFull,
       1},
      {"zero kept as zero", "Warning", 10902, kDrops, "0", 4, LossCause::kDropped, 0},
      {"saturates", "Warning", 10902, kDrops, "18446744073709551615", 2, LossCause::kDropped, kMax},
      {"past 64 bits", "Warning", 10902, kDrops, "18446744073709551616", 2, LossCause::kDropped, 2},
      {"other message", "Warning", 10902, "Records were not kept", "7", 1, std::nullopt, 0},
      {"an Error", "Error", 10901, kCap, "7", 1, std::nullopt, 0},
      {"other code", "Warning", 10905, kTorn, "7", 1, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    ReportBuilder builder;
    builder.Document("2.0", "u").Item(c.kind, c.code, c.message, c.value, c.count);
    const FoldedUpload folded = Fold(UploadOf(builder));
    ASSERT_EQ(folded.items.size(), 1u) << c.name;
    EXPECT_EQ(folded.items[0].count, c.count) << c.name;
    ASSERT_EQ(folded.losses.size(), c.cause ? 1u : 0u) << c.name;
    if (!c.cause) continue;
    EXPECT_EQ(folded.losses[0].cause, *c.cause) << c.name;
    EXPECT_EQ(folded.losses[0].product_ver, "2.0") << c.name;
    EXPECT_EQ(folded.losses[0].records_lost, c.lost) << c.name;
  }

  // One row per cause and product version, whatever the values; sums saturate.
  ReportBuilder builder;
  builder.Document("2.0", "u")
      .Item("Warning", 10902, kDrops, "5")
      .Item("Warning", 10902, kDrops, "6")
      .Item("Warning", 10904, kTorn, "1")
      .Document("3.0", "u")
      .Item("Warning", 10902, kDrops, "18446744073709551615")
      .Item("Warning", 10902, kDrops, "1");
  const FoldedUpload folded = Fold(UploadOf(builder));
  EXPECT_EQ(folded.items.size(), 5u);
  ASSERT_EQ(folded.losses.size(), 3u);
  EXPECT_EQ(folded.losses[0].records_lost, 11u);
  EXPECT_EQ(folded.losses[1].cause, LossCause::kTornRecord);
  EXPECT_EQ(folded.losses[2].product_ver, "3.0");
  EXPECT_EQ(folded.losses[2].records_lost, kMax);
}

// A body may hold a great many documents: versions and loss rows are found
// without a scan, which would take a billion comparisons here.
TEST(FoldTest, ManyDocumentsFoldInLinearTime) {
  ReportBuilder builder;
  constexpr int kDocuments = 50000;
  for (int i = 0; i < kDocuments; ++i) {
    builder.Document(std::to_string(i), "u").Item("Warning", 10904, kTorn, "1", 2);
  }
  const Upload upload = UploadOf(builder);
  const double start = ThreadSeconds();
  const FoldedUpload folded = Fold(upload);
  EXPECT_LT(ThreadSeconds() - start, 2.0);
  EXPECT_EQ(folded.product_versions.size(), std::size_t{kDocuments});
  ASSERT_EQ(folded.losses.size(), std::size_t{kDocuments});
  EXPECT_EQ(folded.losses.back().product_ver, std::to_string(kDocuments - 1));
  EXPECT_EQ(folded.losses.back().records_lost, 2u);
}
