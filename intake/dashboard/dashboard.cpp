#include "dashboard/dashboard.h"

#include <charconv>

#include "dashboard/escape.h"
#include "dashboard/pages.h"

namespace intake::dashboard {
namespace {

constexpr std::string_view kProducts = "/products/";
constexpr std::string_view kItems = "/items/";

struct SplitTarget {
  std::string_view path;
  std::string_view query;
};

SplitTarget Split(std::string_view target) {
  const auto mark = target.find('?');
  if (mark == std::string_view::npos) return {target, {}};
  return {target.substr(0, mark), target.substr(mark + 1)};
}

// Each "name=value" of the query; the first of a repeated name counts.
// nullopt for a broken escape.
std::optional<QueryParams> ParseQuery(std::string_view query,
                                      std::vector<std::string_view>* pieces = nullptr) {
  QueryParams params;
  while (!query.empty()) {
    const auto end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view{} : query.substr(end + 1);
    if (pair.empty()) continue;
    const auto equals = pair.find('=');
    std::string name, value;
    if (!DecodeUrlComponent(pair.substr(0, equals), &name) ||
        !DecodeUrlComponent(equals == std::string_view::npos ? "" : pair.substr(equals + 1),
                            &value)) {
      return std::nullopt;
    }
    if (pieces && name != "token") pieces->push_back(pair);
    params.emplace(std::move(name), std::move(value));
  }
  return params;
}

void AddSecurityHeaders(PageAnswer& answer) {
  answer.headers.emplace_back("Content-Security-Policy", std::string(kContentSecurityPolicy));
  answer.headers.emplace_back("X-Content-Type-Options", "nosniff");
  answer.headers.emplace_back("Referrer-Policy", "no-referrer");
  // Pages show data behind a token: no shared cache may keep them.
  answer.headers.emplace_back("Cache-Control", "no-store");
}

}  // namespace

bool Dashboard::Serves(std::string_view path) {
  return path == "/" || path == "/losses" ||
         (path.starts_with(kProducts) && path.size() > kProducts.size()) ||
         (path.starts_with(kItems) && path.size() > kItems.size());
}

std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const auto end = header.find(';');
    std::string_view pair = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos || pair.substr(0, equals) != name) continue;
    std::string value;
    if (!DecodeUrlComponent(pair.substr(equals + 1), &value)) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

std::string RedactToken(std::string_view target) {
  const auto [path, query] = Split(target);
  if (query.empty()) return std::string(target);
  std::string out(path);
  char separator = '?';
  std::string_view rest = query;
  while (!rest.empty()) {
    const auto end = rest.find('&');
    const std::string_view pair = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    out += separator;
    out += pair.starts_with("token=") ? std::string_view("token=-") : pair;
    separator = '&';
  }
  return out;
}

PageAnswer Dashboard::Handle(std::string_view method, std::string_view target,
                             std::optional<std::string_view> cookie_header,
                             UnixSeconds now) noexcept {
  try {
    PageAnswer answer;
    const auto [path, query] = Split(target);
    std::vector<std::string_view> kept;
    const auto params = ParseQuery(query, &kept);
    const auto offered = params ? params->find("token") : QueryParams::const_iterator{};
    if (method != "GET" && method != "HEAD") {
      answer = MessagePage(405, "Method not allowed", "These pages answer GET only.");
      answer.headers.emplace_back("Allow", "GET, HEAD");
    } else if (!params) {
      answer = MessagePage(400, "Bad address", "The address holds a broken escape.");
    } else if (offered != params->end()) {
      // Sign-in: the token goes into the cookie and out of the address.
      if (!m_admits(offered->second)) {
        answer = SignInPage(true);
      } else {
        std::string location(path);
        char separator = '?';
        for (const std::string_view piece : kept) {
          location += separator;
          location += piece;
          separator = '&';
        }
        answer.status = 303;
        answer.content_type = "text/plain; charset=utf-8";
        answer.body = "signed in\n";
        answer.headers.emplace_back("Location", location);
        answer.headers.emplace_back("Set-Cookie", std::string(kTokenCookie) + "=" +
                                                      UrlComponent(offered->second) +
                                                      "; Path=/; HttpOnly; SameSite=Strict");
      }
    } else {
      const auto cookie = cookie_header ? CookieValue(*cookie_header, kTokenCookie) : std::nullopt;
      answer = cookie && m_admits(*cookie) ? Route(path, *params, now) : SignInPage(false);
    }
    AddSecurityHeaders(answer);
    if (method == "HEAD") answer.body.clear();
    return answer;
  } catch (...) {
    PageAnswer fault;
    fault.status = 500;
    fault.content_type = "text/plain; charset=utf-8";
    fault.body = "internal error\n";
    AddSecurityHeaders(fault);
    return fault;
  }
}

PageAnswer Dashboard::Route(std::string_view path, const QueryParams& query, UnixSeconds now) {
  if (path == "/") return OverviewPage(m_store, now);
  if (path == "/losses") return LossesPage(m_store, now);
  if (path.starts_with(kProducts)) {
    std::string version;
    if (!DecodeUrlComponent(path.substr(kProducts.size()), &version)) {
      return MessagePage(404, "No such version", "The address holds a broken escape.");
    }
    return ProductPage(m_store, version, query, now);
  }
  std::int64_t id = 0;
  const std::string_view digits = path.substr(kItems.size());
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (error != std::errc{} || end != digits.data() + digits.size() || id < 1) {
    return MessagePage(404, "No such item", "No item has this number.");
  }
  return ItemPage(m_store, id, now);
}

}  // namespace intake::dashboard
