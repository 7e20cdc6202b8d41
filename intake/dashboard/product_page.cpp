#include <algorithm>

#include "dashboard/escape.h"
#include "dashboard/pages.h"
#include "dashboard/svg_chart.h"
#include "dashboard/version_order.h"

namespace intake::dashboard {
namespace {

constexpr std::uint32_t kRowsPerPage = 50;

struct SortChoice {
  const char* name;
  const char* label;
  ItemSort sort;
};
constexpr SortChoice kSorts[] = {
    {"count", "Occurrences", ItemSort::kCount},
    {"clients", "Clients", ItemSort::kClients},
    {"last_seen", "Last received", ItemSort::kLastSeen},
};

// The filters a link keeps, with `changes` applied (an empty value drops one).
std::string Href(const std::string& version, const QueryParams& query, const QueryParams& changes) {
  QueryParams params;
  for (const char* name : {"kind", "dll", "app", "q", "sort"}) {
    if (const auto found = query.find(name); found != query.end() && !found->second.empty()) {
      params[name] = found->second;
    }
  }
  for (const auto& [name, value] : changes) {
    if (value.empty()) {
      params.erase(name);
    } else {
      params[name] = value;
    }
  }
  std::string href = ProductHref(version);
  char separator = '?';
  for (const auto& [name, value] : params) {
    href += separator + UrlComponent(name) + "=" + UrlComponent(value);
    separator = '&';
  }
  return href;
}

std::optional<std::string> Filter(const QueryParams& query, const char* name) {
  const auto found = query.find(name);
  if (found == query.end() || found->second.empty()) return std::nullopt;
  return found->second;
}

std::string Select(const char* name, const char* label, const std::vector<std::string>& values,
                   const std::optional<std::string>& chosen) {
  std::string html = std::string("<label>") + label + "<select name=\"" + name +
                     "\"><option value=\"\">any</option>";
  for (const std::string& value : values) {
    html += "<option value=\"" + Attribute(value) + "\"" +
            (chosen && *chosen == value ? " selected" : "") + ">" + HtmlText(value) + "</option>";
  }
  return html + "</select></label>";
}

// New in this version: no item of the same kind, code and message was
// received under a lower version.
bool NewInVersion(const VersionItem& item) {
  return std::none_of(
      item.identity_versions.begin(), item.identity_versions.end(),
      [&](const std::string& other) { return CompareVersions(other, item.key.product_ver) < 0; });
}

}  // namespace

PageAnswer ProductPage(Store& store, const std::string& version, const QueryParams& query,
                       UnixSeconds now) {
  const std::int64_t first_day = ChartFirstDay(now);
  auto versions = store.ListVersions(first_day);
  auto facets = store.GetVersionFacets(version);
  if (!versions.available || !facets.available) {
    return MessagePage(503, "Store unavailable", "The store did not answer.");
  }
  const auto figures =
      std::find_if(versions.value.begin(), versions.value.end(),
                   [&](const VersionFigures& v) { return v.product_ver == version; });
  if (figures == versions.value.end()) {
    return MessagePage(404, "No such version", "No report of this product version was received.");
  }

  VersionItemQuery items;
  items.product_ver = version;
  items.kind = Filter(query, "kind");
  items.dll_ver = Filter(query, "dll");
  items.app_ver = Filter(query, "app");
  items.text = Filter(query, "q");
  items.after = Filter(query, "after");
  items.limit = kRowsPerPage;
  items.first_day = first_day;
  std::string sort_name = "count";
  if (const auto sort = Filter(query, "sort")) {
    const auto choice = std::find_if(std::begin(kSorts), std::end(kSorts),
                                     [&](const SortChoice& c) { return *sort == c.name; });
    if (choice == std::end(kSorts)) return MessagePage(400, "Bad sort", "Unknown sort order.");
    items.sort = choice->sort;
    sort_name = choice->name;
  }
  auto page = store.ListVersionItems(items);
  if (!page.available) return MessagePage(503, "Store unavailable", "The store did not answer.");

  std::string body = "<h1>Version " + ClientText(version) + "</h1>";
  body +=
      "<table class=\"figures\" id=\"figures\"><tr><th>Uploads</th><th>Clients</th>"
      "<th>Occurrences</th><th>Records lost</th><th>Completeness</th><th>Items</th></tr><tr>"
      "<td class=\"n uploads\">" +
      Grouped(figures->uploads) + "</td><td class=\"n clients\">" + Grouped(figures->clients) +
      "</td><td class=\"n occurrences\">" + Grouped(figures->occurrences) +
      "</td><td class=\"n lost\">" + Grouped(figures->records_lost) +
      "</td><td class=\"n completeness\">" +
      CompletenessText(figures->occurrences, figures->records_lost) +
      "</td><td class=\"n items\">" + Grouped(figures->items) + "</td></tr></table>";
  body += BarChart(DailySeries(figures->days, first_day, kChartDays), first_day,
                   "occurrences received per day", 600, 80);

  body +=
      "<form class=\"filters\" method=\"get\" action=\"" + Attribute(ProductHref(version)) + "\">";
  body += Select("kind", "Kind", facets.value.kinds, items.kind);
  body += Select("dll", "DLLVer", facets.value.dll_vers, items.dll_ver);
  body += Select("app", "AppVer", facets.value.app_vers, items.app_ver);
  body += "<label>Message or value contains<input type=\"search\" name=\"q\" value=\"" +
          Attribute(items.text.value_or("")) + "\"></label>";
  body += "<input type=\"hidden\" name=\"sort\" value=\"" + Attribute(sort_name) + "\">";
  body += "<button type=\"submit\">Filter</button><a href=\"" +
          Attribute(Href(version, {}, {{"sort", sort_name}})) + "\">Clear</a></form>";

  body += "<p class=\"note\">Sort by: ";
  for (const SortChoice& choice : kSorts) {
    if (sort_name == choice.name) {
      body += std::string("<b>") + choice.label + "</b> ";
    } else {
      body += "<a class=\"sort\" href=\"" +
              Attribute(Href(version, query, {{"sort", choice.name}})) + "\">" + choice.label +
              "</a> ";
    }
  }
  body += "</p>";

  if (page.value.items.empty()) {
    body += "<p id=\"empty\">No item matches.</p>";
  } else {
    body +=
        "<table id=\"items\"><thead><tr><th></th><th>Kind</th><th>Code</th><th>Message</th>"
        "<th>Value</th><th>DLLVer</th><th>AppVer</th><th>Occurrences</th><th>Clients</th>"
        "<th>First received</th><th>Last received</th><th>Last " +
        std::to_string(kChartDays) + " days</th></tr></thead><tbody>";
    for (const VersionItem& item : page.value.items) {
      body += "<tr data-id=\"" + std::to_string(item.id) + "\"><td>" +
              (NewInVersion(item) ? "<span class=\"new\">new</span>" : "") +
              "</td><td class=\"kind\">" + ClientText(item.key.kind) + "</td><td class=\"code\">" +
              HtmlText(CodeText(item.key.error_code)) + "</td><td class=\"msg\"><a href=\"/items/" +
              std::to_string(item.id) + "\">" + ClientText(item.key.message) +
              "</a></td><td class=\"msg value\">" +
              (item.key.value ? ClientText(*item.key.value) : "") + "</td><td>" +
              ClientText(item.key.dll_ver) + "</td><td>" + ClientText(item.key.app_ver) +
              "</td><td class=\"n count\">" + Grouped(item.count) +
              "</td><td class=\"n clients\">" + Grouped(item.clients) + "</td><td>" +
              ReceiptTime(item.first_seen) + "</td><td>" + ReceiptTime(item.last_seen) +
              "</td><td>" + Sparkline(DailySeries(item.days, first_day, kChartDays)) + "</td></tr>";
    }
    body += "</tbody></table>";
  }
  body += "<p>";
  if (items.after) {
    body += "<a id=\"first\" href=\"" + Attribute(Href(version, query, {})) + "\">First page</a> ";
  }
  if (page.value.next) {
    body += "<a id=\"next\" href=\"" +
            Attribute(Href(version, query, {{"after", *page.value.next}})) + "\">Next page</a>";
  }
  body += "</p>";
  return {200, "text/html; charset=utf-8", Frame("Version " + version, body), {}};
}

}  // namespace intake::dashboard
