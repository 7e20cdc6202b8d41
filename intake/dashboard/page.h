// A page as the dashboard answers it, and the pieces every page shares:
// the frame (style, navigation, the note on receipt times), number and time
// texts, and client text isolated for bidi.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/store.h"

namespace intake::dashboard {

struct PageAnswer {
  unsigned status = 200;
  std::string content_type = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// A page's query, decoded; the first of a repeated name counts.
using QueryParams = std::map<std::string, std::string>;

// The 30 UTC days the charts show end today.
inline constexpr int kChartDays = 30;

// A whole HTML document around `body`. `title` is escaped here.
std::string Frame(std::string_view title, std::string_view body);

// A status page with one line of text (404, 503), no data.
PageAnswer MessagePage(unsigned status, std::string_view title, std::string_view line);

// Client text as inert text in its own bidi island.
std::string ClientText(std::string_view text);

// 1234567 as "1,234,567".
std::string Grouped(std::uint64_t value);

// A code, and beside a negative one its 32-bit hex: "-2147024891 (0x80070005)".
std::string CodeText(std::int32_t code);

// occurrences / (occurrences + lost) as a percentage, floored to a tenth so
// that 100.0% means nothing was lost; "no data" when both are zero.
std::string CompletenessText(std::uint64_t occurrences, std::uint64_t lost);

// "2024-05-01 13:02:05 UTC", a receipt time.
std::string ReceiptTime(UnixSeconds seconds);

// "/products/1.0%2Fx": a path segment of ours with client text encoded.
std::string ProductHref(std::string_view version);

}  // namespace intake::dashboard
