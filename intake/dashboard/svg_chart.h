// Inline SVG charts of counts per UTC day of receipt: a bar chart with a
// tooltip per day, and a sparkline for table rows. Days without a row count
// as zero. Every text inside goes through HtmlText.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/store.h"

namespace intake::dashboard {

// The `day_count` days from first_day on, one value each.
std::vector<std::uint64_t> DailySeries(const std::vector<DayFigure>& days, std::int64_t first_day,
                                       int day_count);

// Bars scaled to the largest day; `label` names the chart for screen readers.
std::string BarChart(const std::vector<std::uint64_t>& series, std::int64_t first_day,
                     std::string_view label, int width = 300, int height = 64);

std::string Sparkline(const std::vector<std::uint64_t>& series, int width = 90, int height = 18);

}  // namespace intake::dashboard
