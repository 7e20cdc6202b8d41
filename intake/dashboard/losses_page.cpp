#include <algorithm>
#include <array>
#include <map>

#include "dashboard/escape.h"
#include "dashboard/pages.h"
#include "dashboard/svg_chart.h"
#include "dashboard/version_order.h"
#include "store/utc_day.h"

namespace intake::dashboard {

// From the README's account records.
const CauseText kCauseTexts[4] = {
    {LossCause::kDayLogCap, "cap (10901)",
     "the day's log reached its size cap: every record not kept after that counts here"},
    {LossCause::kDropped, "drops (10902)",
     "a record whose turn did not come in time, whose file could not be opened or written, or "
     "whose call failed"},
    {LossCause::kPendingFull, "roll-over (10903)",
     "the pending log was full at the daily roll-over: the records left out"},
    {LossCause::kTornRecord, "torn (10904)",
     "a record was cut because its writer stopped in the middle of it"},
};

namespace {

std::size_t CauseIndex(LossCause cause) {
  for (std::size_t i = 0; i < std::size(kCauseTexts); ++i) {
    if (kCauseTexts[i].cause == cause) return i;
  }
  return 0;
}

using CauseRow = std::array<std::uint64_t, 4>;

std::string Cells(const CauseRow& row) {
  std::string html;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < row.size(); ++i) {
    html += "<td class=\"n c" + std::to_string(static_cast<int>(kCauseTexts[i].cause)) + "\">" +
            Grouped(row[i]) + "</td>";
    total += row[i];
  }
  return html + "<td class=\"n total\">" + Grouped(total) + "</td>";
}

std::string Header(const char* first) {
  std::string html = std::string("<thead><tr><th>") + first + "</th>";
  for (const CauseText& cause : kCauseTexts) html += std::string("<th>") + cause.name + "</th>";
  return html + "<th>All causes</th></tr></thead>";
}

}  // namespace

PageAnswer LossesPage(Store& store, UnixSeconds now) {
  auto losses = store.ListLosses(std::nullopt);
  if (!losses.available) return MessagePage(503, "Store unavailable", "The store did not answer.");
  CauseRow totals{};
  std::map<std::string, CauseRow, HigherVersionFirst> per_version;
  std::map<std::string, CauseRow, std::greater<>> per_day;
  for (const LossDay& loss : losses.value) {
    const std::size_t at = CauseIndex(loss.cause);
    totals[at] += loss.records_lost;
    per_version[loss.product_ver][at] += loss.records_lost;
    per_day[loss.day][at] += loss.records_lost;
  }

  std::string body =
      "<h1>Records lost on clients</h1><p class=\"note\">Counted from the account records the "
      "clients' logs write for what they could not keep, per UTC day of receipt.</p><ul>";
  for (const CauseText& cause : kCauseTexts) {
    body += std::string("<li><b>") + cause.name + "</b>: " + cause.meaning + ".</li>";
  }
  body += "</ul><h2>All versions</h2><table id=\"totals\">" + Header("") +
          "<tbody><tr><td>all</td>" + Cells(totals) + "</tr></tbody></table>";
  body += "<h2>Per product version</h2><table id=\"per-version\">" + Header("Version") + "<tbody>";
  for (const auto& [version, row] : per_version) {
    body += "<tr data-version=\"" + Attribute(version) + "\"><td><a href=\"" +
            Attribute(ProductHref(version)) + "\">" + ClientText(version) + "</a></td>" +
            Cells(row) + "</tr>";
  }
  body += "</tbody></table>";

  const std::int64_t first_day = ChartFirstDay(now);
  std::vector<DayFigure> daily;
  for (const auto& [day, row] : per_day) {
    std::uint64_t sum = 0;
    for (std::uint64_t n : row) sum += n;
    for (std::int64_t d = first_day; d < first_day + kChartDays; ++d) {
      if (UtcDayText(d) == day) daily.push_back({d, sum});
    }
  }
  body += "<h2>Per UTC day of receipt</h2>" +
          BarChart(DailySeries(daily, first_day, kChartDays), first_day, "records lost per day",
                   600, 80) +
          "<table id=\"per-day\">" + Header("Day (UTC)") + "<tbody>";
  for (const auto& [day, row] : per_day) {
    body += "<tr><td>" + HtmlText(day) + "</td>" + Cells(row) + "</tr>";
  }
  body += "</tbody></table>";
  return {200, "text/html; charset=utf-8", Frame("Losses", body), {}};
}

PageAnswer SignInPage(bool refused) {
  std::string body =
      "<h1>Sign in</h1><p>These pages need a read token, one of the lines of the service's "
      "token file.</p>";
  if (refused) body += "<p id=\"refused\">That token is not one of them.</p>";
  body +=
      "<form method=\"get\" action=\"/\"><label>Read token<input type=\"password\" "
      "name=\"token\" autocomplete=\"off\"></label> <button type=\"submit\">Sign in</button>"
      "</form>";
  PageAnswer answer;
  answer.status = 401;
  answer.body = Frame("Sign in", body);
  return answer;
}

}  // namespace intake::dashboard
