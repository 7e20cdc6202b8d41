#include <algorithm>

#include "dashboard/escape.h"
#include "dashboard/pages.h"
#include "dashboard/svg_chart.h"
#include "dashboard/version_order.h"
#include "store/utc_day.h"

namespace intake::dashboard {

std::int64_t ChartFirstDay(UnixSeconds now) { return UtcDayNumber(now) - (kChartDays - 1); }

PageAnswer OverviewPage(Store& store, UnixSeconds now) {
  const std::int64_t first_day = ChartFirstDay(now);
  auto read = store.ListVersions(first_day);
  if (!read.available) return MessagePage(503, "Store unavailable", "The store did not answer.");
  std::vector<VersionFigures>& versions = read.value;
  std::sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) {
    return HigherVersionFirst{}(a.product_ver, b.product_ver);
  });
  std::string body =
      "<h1>Product versions</h1><p class=\"note\">Occurrences are the Counts of every item "
      "received, account records excluded. Records lost are what the clients' account records "
      "say they could not keep. Completeness = occurrences \xC3\xB7 (occurrences + records "
      "lost). The chart shows occurrences per UTC day of receipt, the last " +
      std::to_string(kChartDays) + " days.</p>";
  if (versions.empty()) {
    body += "<p>No report has been received yet.</p>";
    return {200, "text/html; charset=utf-8", Frame("Overview", body), {}};
  }
  body +=
      "<table id=\"versions\"><thead><tr><th>Version</th><th>Uploads</th><th>Clients</th>"
      "<th>Occurrences</th><th>Records lost</th><th>Completeness</th><th>Items</th>"
      "<th>Received per day, last " +
      std::to_string(kChartDays) + " days (UTC)</th></tr></thead><tbody>";
  for (const VersionFigures& v : versions) {
    body += "<tr data-version=\"" + Attribute(v.product_ver) + "\"><td><a href=\"" +
            Attribute(ProductHref(v.product_ver)) + "\">" + ClientText(v.product_ver) +
            "</a></td><td class=\"n uploads\">" + Grouped(v.uploads) +
            "</td><td class=\"n clients\">" + Grouped(v.clients) +
            "</td><td class=\"n occurrences\">" + Grouped(v.occurrences) +
            "</td><td class=\"n lost\">" + Grouped(v.records_lost) +
            "</td><td class=\"n completeness\">" + CompletenessText(v.occurrences, v.records_lost) +
            "</td><td class=\"n items\">" + Grouped(v.items) + "</td><td>" +
            BarChart(DailySeries(v.days, first_day, kChartDays), first_day,
                     "occurrences received per day") +
            "</td></tr>";
  }
  body += "</tbody></table>";
  return {200, "text/html; charset=utf-8", Frame("Overview", body), {}};
}

}  // namespace intake::dashboard
