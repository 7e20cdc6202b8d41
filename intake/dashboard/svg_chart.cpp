#include "dashboard/svg_chart.h"

#include <algorithm>
#include <cstdio>

#include "dashboard/escape.h"
#include "store/utc_day.h"

namespace intake::dashboard {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", value);
  return text;
}

}  // namespace

std::vector<std::uint64_t> DailySeries(const std::vector<DayFigure>& days, std::int64_t first_day,
                                       int day_count) {
  std::vector<std::uint64_t> series(static_cast<std::size_t>(std::max(day_count, 0)), 0);
  for (const DayFigure& day : days) {
    const std::int64_t at = day.day - first_day;
    if (at >= 0 && at < day_count) series[static_cast<std::size_t>(at)] += day.count;
  }
  return series;
}

std::string BarChart(const std::vector<std::uint64_t>& series, std::int64_t first_day,
                     std::string_view label, int width, int height) {
  const std::uint64_t top = std::max<std::uint64_t>(
      1, series.empty() ? 1 : *std::max_element(series.begin(), series.end()));
  const double slot = series.empty() ? width : static_cast<double>(width) / series.size();
  std::string svg = "<svg class=\"bars\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"" + Attribute(label) + "\">";
  svg += "<line x1=\"0\" y1=\"" + std::to_string(height - 1) + "\" x2=\"" + std::to_string(width) +
         "\" y2=\"" + std::to_string(height - 1) + "\" class=\"axis\"/>";
  for (std::size_t i = 0; i < series.size(); ++i) {
    const double bar =
        series[i] == 0 ? 0.0 : std::max(1.0, (height - 2) * static_cast<double>(series[i]) / top);
    svg += "<rect x=\"" + Number(i * slot + 0.5) + "\" y=\"" + Number(height - 1 - bar) +
           "\" width=\"" + Number(std::max(slot - 1.0, 0.5)) + "\" height=\"" + Number(bar) +
           "\"><title>" +
           HtmlText(UtcDayText(first_day + static_cast<std::int64_t>(i)) + ": " +
                    std::to_string(series[i]) + " received") +
           "</title></rect>";
  }
  return svg + "</svg>";
}

std::string Sparkline(const std::vector<std::uint64_t>& series, int width, int height) {
  const std::uint64_t top = std::max<std::uint64_t>(
      1, series.empty() ? 1 : *std::max_element(series.begin(), series.end()));
  const double step = series.size() > 1 ? static_cast<double>(width - 2) / (series.size() - 1) : 0;
  std::string points;
  for (std::size_t i = 0; i < series.size(); ++i) {
    if (!points.empty()) points.push_back(' ');
    points += Number(1 + i * step) + "," +
              Number(height - 1 - (height - 2) * static_cast<double>(series[i]) / top);
  }
  return "<svg class=\"spark\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
         std::to_string(width) + " " + std::to_string(height) +
         "\" role=\"img\" aria-label=\"last 30 days\"><polyline points=\"" + points + "\"/></svg>";
}

}  // namespace intake::dashboard
