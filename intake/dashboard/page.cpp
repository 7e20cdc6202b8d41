#include "dashboard/page.h"

#include <cstdio>
#include <ctime>

#include "dashboard/escape.h"

namespace intake::dashboard {
namespace {

constexpr std::string_view kStyle =
    "body{font:14px/1.4 system-ui,sans-serif;margin:0;color:#1d2430;background:#f6f7f9}"
    "header{background:#1d2f4f;color:#fff;padding:10px 20px;display:flex;gap:20px;"
    "align-items:baseline}header a{color:#fff}header b{font-size:16px}"
    "main{padding:12px 20px}h1{font-size:20px;margin:8px 0}h2{font-size:16px;margin:16px 0 6px}"
    "table{border-collapse:collapse;background:#fff;margin:6px 0}"
    "th,td{border:1px solid #d5d9e0;padding:3px 6px;text-align:left;vertical-align:top}"
    "th{background:#e9edf3}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "td.msg{max-width:360px;overflow-wrap:anywhere}"
    "bdi{unicode-bidi:isolate}.new{background:#d9480f;color:#fff;border-radius:3px;"
    "padding:0 4px;font-size:12px}.note{color:#5b6473;font-size:12px}"
    "svg.bars rect{fill:#3b6fd1}svg .axis{stroke:#9aa3b2}"
    "svg.spark polyline{fill:none;stroke:#3b6fd1;stroke-width:1.5}"
    "form.filters{display:flex;gap:10px;flex-wrap:wrap;align-items:end;margin:8px 0}"
    "form label{display:flex;flex-direction:column;font-size:12px}"
    ".figures td{min-width:90px}.here{font-weight:bold}";

}  // namespace

std::string Frame(std::string_view title, std::string_view body) {
  std::string page =
      "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width\"><title>";
  page += HtmlText(title);
  page += " \xE2\x80\x94 report intake</title><style>";
  page += kStyle;
  page +=
      "</style></head><body><header><b>Report intake</b><a href=\"/\">Overview</a>"
      "<a href=\"/losses\">Losses</a></header><main>";
  page += body;
  page +=
      "<p class=\"note\">Every time and day on these pages is a receipt time, in UTC: reports "
      "carry no times of their own.</p></main></body></html>";
  return page;
}

PageAnswer MessagePage(unsigned status, std::string_view title, std::string_view line) {
  PageAnswer answer;
  answer.status = status;
  answer.body = Frame(title, "<h1>" + HtmlText(title) + "</h1><p>" + HtmlText(line) + "</p>");
  return answer;
}

std::string ClientText(std::string_view text) { return "<bdi>" + HtmlText(text) + "</bdi>"; }

std::string Grouped(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string CodeText(std::int32_t code) {
  std::string text = std::to_string(code);
  if (code < 0) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<std::uint32_t>(code));
    text += " (";
    text += hex;
    text += ")";
  }
  return text;
}

std::string CompletenessText(std::uint64_t occurrences, std::uint64_t lost) {
  const long double whole = static_cast<long double>(occurrences) + lost;
  if (whole == 0) return "no data";
  const auto tenths = static_cast<std::uint64_t>(1000.0L * occurrences / whole);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

std::string ReceiptTime(UnixSeconds seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[40];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

std::string ProductHref(std::string_view version) { return "/products/" + UrlComponent(version); }

}  // namespace intake::dashboard
