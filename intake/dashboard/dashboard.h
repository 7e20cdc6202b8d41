// The dashboard: routes a GET to its page, behind the read tokens. A browser
// signs in once with "?token=TOKEN", which sets an HttpOnly, SameSite=Strict
// cookie and redirects (303) to the same address without the token; without
// a valid token every page is the 401 sign-in page, with no data. Every
// answer carries the pages' security headers. Thread-safe as the store is.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "dashboard/page.h"
#include "store/store.h"

namespace intake::dashboard {

// Exactly what the pages need: no script, no resource from elsewhere.
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src 'self' data:; "
    "frame-ancestors 'none'; base-uri 'none'; form-action 'self'";

inline constexpr std::string_view kTokenCookie = "intake_token";

class Dashboard {
 public:
  // `admits` says whether a token is one of the read tokens.
  Dashboard(Store& store, std::function<bool(std::string_view token)> admits)
      : m_store(store), m_admits(std::move(admits)) {}

  // True for the pages' paths: "/", "/products/...", "/items/...", "/losses".
  static bool Serves(std::string_view path);

  // Never throws.
  PageAnswer Handle(std::string_view method, std::string_view target,
                    std::optional<std::string_view> cookie_header, UnixSeconds now) noexcept;

 private:
  PageAnswer Route(std::string_view path, const QueryParams& query, UnixSeconds now);

  Store& m_store;
  std::function<bool(std::string_view)> m_admits;
};

// The value of cookie `name` in a Cookie header, percent-decoded.
std::optional<std::string> CookieValue(std::string_view header, std::string_view name);

// The target with the value of any "token" parameter replaced by "-", for logs.
std::string RedactToken(std::string_view target);

}  // namespace intake::dashboard
