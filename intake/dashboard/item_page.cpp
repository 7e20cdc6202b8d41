#include <algorithm>
#include <cstdio>
#include <ctime>

#include "dashboard/escape.h"
#include "dashboard/pages.h"
#include "dashboard/svg_chart.h"
#include "dashboard/version_order.h"
#include "store/utc_day.h"

namespace intake::dashboard {
namespace {

std::vector<DayFigure> DayFigures(const std::vector<DayCount>& days) {
  std::vector<DayFigure> figures;
  for (const DayCount& day : days) {
    // "YYYY-MM-DD" back to its day number.
    int year = 0, month = 0, mday = 0;
    if (std::sscanf(day.day.c_str(), "%d-%d-%d", &year, &month, &mday) != 3) continue;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = mday;
    figures.push_back({UtcDayNumber(timegm(&parts)), day.count});
  }
  return figures;
}

std::string Share(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return "no data";
  const std::uint64_t tenths = std::min<std::uint64_t>(1000, part * 1000 / whole);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

}  // namespace

PageAnswer ItemPage(Store& store, std::int64_t id, UnixSeconds now) {
  const std::int64_t first_day = ChartFirstDay(now);
  auto item = store.GetItem(id);
  if (!item.available) return MessagePage(503, "Store unavailable", "The store did not answer.");
  if (!item.value) return MessagePage(404, "No such item", "No item has this number.");
  const ItemSummary& summary = item.value->summary;
  const ItemKey& key = summary.key;
  auto versions = store.ListVersions(first_day);
  auto identity = store.ListIdentityVersions(key);
  if (!versions.available || !identity.available) {
    return MessagePage(503, "Store unavailable", "The store did not answer.");
  }
  std::uint64_t version_clients = 0;
  for (const VersionFigures& v : versions.value) {
    if (v.product_ver == key.product_ver) version_clients = v.clients;
  }

  std::string body = "<h1>Item " + std::to_string(id) + " of version <a href=\"" +
                     Attribute(ProductHref(key.product_ver)) + "\">" + ClientText(key.product_ver) +
                     "</a></h1>";
  body += "<table id=\"item\">";
  const auto row = [&](const char* name, const char* css, const std::string& html) {
    body +=
        std::string("<tr><th>") + name + "</th><td class=\"" + css + "\">" + html + "</td></tr>";
  };
  row("Kind", "kind", ClientText(key.kind));
  row("Code", "code", HtmlText(CodeText(key.error_code)));
  row("Message", "msg", ClientText(key.message));
  row("Value", "msg value", key.value ? ClientText(*key.value) : "<i>none</i>");
  row("DLLVer", "dll", ClientText(key.dll_ver));
  row("AppVer", "app", ClientText(key.app_ver));
  row("Occurrences", "n count", Grouped(summary.count));
  row("Clients", "n clients", Grouped(summary.clients));
  row("Share of the version's clients", "n share",
      Share(summary.clients, version_clients) + " of " + Grouped(version_clients));
  row("First received", "first", ReceiptTime(summary.first_seen));
  row("Last received", "last", ReceiptTime(summary.last_seen));
  body += "</table>";

  const std::vector<DayFigure> days = DayFigures(item.value->days);
  body += "<h2>Received per UTC day, last " + std::to_string(kChartDays) + " days</h2>";
  body += BarChart(DailySeries(days, first_day, kChartDays), first_day,
                   "occurrences received per day", 600, 80);

  std::vector<IdentityInVersion>& others = identity.value;
  std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) {
    return HigherVersionFirst{}(a.product_ver, b.product_ver);
  });
  body +=
      "<h2>The same kind, code and message in every version</h2>"
      "<table id=\"versions\"><thead><tr><th>Version</th><th>Occurrences</th><th>Clients</th>"
      "<th>Items</th></tr></thead><tbody>";
  for (const IdentityInVersion& other : others) {
    const bool here = other.product_ver == key.product_ver;
    body += std::string("<tr") + (here ? " class=\"here\"" : "") + " data-version=\"" +
            Attribute(other.product_ver) + "\"><td><a href=\"" +
            Attribute(ProductHref(other.product_ver)) + "\">" + ClientText(other.product_ver) +
            "</a></td><td class=\"n count\">" + Grouped(other.count) +
            "</td><td class=\"n clients\">" + Grouped(other.clients) + "</td><td class=\"n\">" +
            Grouped(other.items) + "</td></tr>";
  }
  body += "</tbody></table>";

  body += "<h2>Every day kept</h2><table id=\"days\"><tr><th>Day (UTC)</th><th>Received</th></tr>";
  for (const DayCount& day : item.value->days) {
    body += "<tr><td>" + HtmlText(day.day) + "</td><td class=\"n\">" + Grouped(day.count) +
            "</td></tr>";
  }
  body += "</table>";
  return {200, "text/html; charset=utf-8", Frame("Item " + std::to_string(id), body), {}};
}

}  // namespace intake::dashboard
