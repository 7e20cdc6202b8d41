#include "bench_reports.h"

#include <cstdio>

#include "contract/sha256_hex.h"
#include "report_builder.h"

namespace intake::bench {

namespace {

constexpr std::size_t kTypicalItems = 20;
constexpr std::size_t kFullSizeItems = 91'000;

BenchReport Finish(const std::string& client, const testing::ReportBuilder& builder) {
  BenchReport report;
  report.client = client;
  report.body = builder.Text();
  report.key = Sha256Hex(report.body);
  for (const auto& document : builder.Documents()) report.items += document.items.size();
  return report;
}

}  // namespace

std::string ClientUuid(std::size_t n) {
  char text[48];
  std::snprintf(text, sizeof(text), "{6F9619FF-8B86-D011-B42D-%012zX}", n);
  return text;
}

BenchReport TypicalReport(const std::string& client, std::size_t serial) {
  static const char* const kKinds[] = {"Error", "Warning", "Exception"};
  testing::ReportBuilder builder;
  builder.Document("5.2.0.1140", client);
  for (std::size_t i = 0; i < kTypicalItems; ++i) {
    // Most of a day's items are the errors every machine has; one is new.
    const std::string message =
        i == 0 ? "Decoder stalled on stream " + std::to_string(serial)
               : "Cannot open the media file for reading (code " + std::to_string(i) + ")";
    builder.Item(kKinds[i % 3], static_cast<std::int32_t>(20000 + i), message,
                 "C:\\Users\\listener\\Music\\Album " + std::to_string(i) + "\\track.mp3",
                 static_cast<std::uint32_t>(1 + (serial + i) % 7), "5.2.0.1140", "5.2.0.1140");
  }
  return Finish(client, builder);
}

BenchReport FullSizeReport(const std::string& client, std::size_t serial) {
  testing::ReportBuilder builder;
  builder.Document("5.2.0.1140", client);
  for (std::size_t i = 0; i < kFullSizeItems; ++i) {
    builder.Item("Error", 20000, "Record " + std::to_string(serial) + "." + std::to_string(i),
                 std::nullopt, 1, "5.2.0.1140", "5.2.0.1140");
  }
  return Finish(client, builder);
}

}  // namespace intake::bench
