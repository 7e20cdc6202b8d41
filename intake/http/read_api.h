// The read API and the health path: GET requests answered from the store.
// Handle() blocks on the store, so the server calls it on a worker thread.
// It never throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dashboard/dashboard.h"
#include "http/answers.h"
#include "store/store.h"

namespace intake {

// The tokens of --token-file: one per line, blank lines ignored. With none,
// every read is refused.
class TokenSet {
 public:
  TokenSet() = default;
  explicit TokenSet(std::vector<std::string> tokens) : m_tokens(std::move(tokens)) {}
  // Parses the file's text.
  static TokenSet FromText(std::string_view text);
  // True for "Bearer TOKEN" with one of the tokens.
  bool Admits(std::optional<std::string_view> authorization) const;
  // True for one of the tokens itself (the dashboard's cookie).
  bool AdmitsToken(std::string_view token) const;
  std::size_t size() const { return m_tokens.size(); }
  // The file's first token, for the sign-in address printed at start.
  std::optional<std::string> First() const {
    return m_tokens.empty() ? std::nullopt : std::optional(m_tokens.front());
  }

 private:
  std::vector<std::string> m_tokens;
};

class ReadApi {
 public:
  ReadApi(Store& store, TokenSet tokens)
      : m_store(store),
        m_tokens(std::move(tokens)),
        m_dashboard(store, [this](std::string_view token) { return m_tokens.AdmitsToken(token); }) {
  }

  // True when the path (without its query) is one this class answers: the
  // API, /healthz and the dashboard's pages.
  static bool Serves(std::string_view target);

  // The API takes only "Authorization: Bearer"; the pages take the sign-in
  // cookie from `cookie` (the Cookie header).
  Reply Handle(std::string_view method, std::string_view target,
               std::optional<std::string_view> authorization,
               std::optional<std::string_view> cookie = std::nullopt) noexcept;

 private:
  Reply Route(std::string_view path, std::string_view query);
  Reply PageReply(std::string_view method, std::string_view target,
                  std::optional<std::string_view> cookie);

  Store& m_store;
  TokenSet m_tokens;
  dashboard::Dashboard m_dashboard;
};

// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcText(UnixSeconds seconds);

}  // namespace intake
