// The read API and the health path: GET requests answered from the store.
// Handle() blocks on the store, so the server calls it on a worker thread.
// It never throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  std::size_t size() const { return m_tokens.size(); }

 private:
  std::vector<std::string> m_tokens;
};

class ReadApi {
 public:
  ReadApi(Store& store, TokenSet tokens) : m_store(store), m_tokens(std::move(tokens)) {}

  // True when the path (without its query) is one this class answers.
  static bool Serves(std::string_view target);

  Reply Handle(std::string_view method, std::string_view target,
               std::optional<std::string_view> authorization) noexcept;

 private:
  Reply Route(std::string_view path, std::string_view query);

  Store& m_store;
  TokenSet m_tokens;
};

// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcText(UnixSeconds seconds);

}  // namespace intake
