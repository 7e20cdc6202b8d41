// The service's answers: every status it sends and its one-line reason come
// from the one table in answers.cpp. The contract's refusals, the store's
// outcomes and what the HTTP face decides itself are its rows; nothing else
// picks a status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "contract/contract_error.h"
#include "store/store.h"

namespace intake {

// What the HTTP face decides before or beside the contract and the store.
enum class HttpOutcome {
  kIncomplete,        // 408: the request was not whole within its deadline
  kNoLength,          // 411: no Content-Length (a chunked body has none)
  kTooLarge,          // 413: over --max-body-bytes, refused before the body is read
  kBusy,              // 503: the body would pass --max-inflight-bytes
  kMalformedHttp,     // 400: not an HTTP/1.1 request the parser accepts
  kUnauthorized,      // 401: the read API without a valid bearer token
  kNotFound,          // 404: no such path, item or upload
  kMethodNotAllowed,  // 405
  kBadQuery,          // 400: a read API query parameter out of its range
  kStoreUnreadable,   // 503: the store did not answer a read
  kHealthy,           // 200: /healthz, the store answers
  kUnhealthy,         // 503: /healthz, the store does not answer
  kServerFault,       // 500: an unexpected failure inside the service
};

using Outcome = std::variant<HttpOutcome, ContractError, CommitOutcome>;

struct AnswerRow {
  Outcome outcome;
  unsigned status;
  std::string_view reason;  // empty: the contract's own reason for its refusal
};

// The row of an outcome; every outcome has exactly one.
const AnswerRow& RowFor(const Outcome& outcome);

// What goes back on the wire: status, headers that matter, body.
struct Reply {
  unsigned status = 500;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  std::optional<std::uint32_t> retry_after;  // seconds, for 429 and 503
  bool close = false;                        // the connection ends after this answer
};

// The outcome's row as a one-line plain-text answer.
Reply TextReply(const Outcome& outcome, std::optional<std::uint32_t> retry_after = {});

// A 200 answer of the read API.
Reply JsonReply(std::string json);

// How long a sender refused for lack of room in flight is asked to wait.
inline constexpr std::uint32_t kBusyRetryAfterSeconds = 2;

}  // namespace intake
