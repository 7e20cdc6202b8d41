#include "answers.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace intake {

namespace {

// clang-format off
const std::array kAnswers = {
    AnswerRow{CommitOutcome::kAccepted, 200, "accepted: the upload is stored"},
    AnswerRow{CommitOutcome::kDuplicate, 200, "duplicate: this upload was stored before; nothing counted again"},
    AnswerRow{CommitOutcome::kRateLimited, 429, "too many uploads from this client in the last hour"},
    AnswerRow{CommitOutcome::kUnavailable, 503, "the store is unavailable; nothing was stored"},
    AnswerRow{ContractError::kContentType, 415, ""},
    AnswerRow{ContractError::kNoKey, 400, ""},
    AnswerRow{ContractError::kKeyMismatch, 400, ""},
    AnswerRow{ContractError::kNotUtf8, 400, ""},
    AnswerRow{ContractError::kNotXmlText, 400, ""},
    AnswerRow{ContractError::kNotWellFormed, 400, ""},
    AnswerRow{ContractError::kDoctype, 400, ""},
    AnswerRow{ContractError::kEntity, 400, ""},
    AnswerRow{ContractError::kNoDocument, 400, ""},
    AnswerRow{ContractError::kForeignNode, 400, ""},
    AnswerRow{ContractError::kStrayText, 400, ""},
    AnswerRow{ContractError::kMissingAttribute, 400, ""},
    AnswerRow{ContractError::kForeignAttribute, 400, ""},
    AnswerRow{ContractError::kBadErrorCode, 400, ""},
    AnswerRow{ContractError::kBadCount, 400, ""},
    AnswerRow{ContractError::kUuidsDiffer, 400, ""},
    AnswerRow{ContractError::kClientMismatch, 400, ""},
    AnswerRow{ContractError::kTooDense, 400, ""},
    AnswerRow{HttpOutcome::kIncomplete, 408, "the request was not complete in time"},
    AnswerRow{HttpOutcome::kNoLength, 411, "a Content-Length is required (no chunked bodies)"},
    AnswerRow{HttpOutcome::kTooLarge, 413, "the body is larger than this service accepts"},
    AnswerRow{HttpOutcome::kBusy, 503, "too many bytes in flight; try again later"},
    AnswerRow{HttpOutcome::kMalformedHttp, 400, "not a well-formed HTTP/1.1 request"},
    AnswerRow{HttpOutcome::kUnauthorized, 401, "a valid bearer token is required"},
    AnswerRow{HttpOutcome::kNotFound, 404, "not found"},
    AnswerRow{HttpOutcome::kMethodNotAllowed, 405, "method not allowed here"},
    AnswerRow{HttpOutcome::kBadQuery, 400, "a query parameter is out of range"},
    AnswerRow{HttpOutcome::kStoreUnreadable, 503, "the store is unavailable"},
    AnswerRow{HttpOutcome::kHealthy, 200, "ok: the store answers"},
    AnswerRow{HttpOutcome::kUnhealthy, 503, "the store does not answer"},
    AnswerRow{HttpOutcome::kServerFault, 500, "the service failed unexpectedly; nothing was stored"},
};
// clang-format on

// A client never waits longer than an hour: the rate limit's window.
constexpr std::uint32_t kMaxRetryAfter = 3600;

}  // namespace

const AnswerRow& RowFor(const Outcome& outcome) {
  for (const AnswerRow& row : kAnswers) {
    if (row.outcome == outcome) return row;
  }
  // Unreachable while the table lists every enumerator, which its test checks.
  std::abort();
}

Reply TextReply(const Outcome& outcome, std::optional<std::uint32_t> retry_after) {
  const AnswerRow& row = RowFor(outcome);
  Reply reply;
  reply.status = row.status;
  const auto* refusal = std::get_if<ContractError>(&outcome);
  reply.body = std::string(row.reason.empty() && refusal ? Reason(*refusal) : row.reason);
  reply.body += '\n';
  if (row.status == 429 || row.status == 503) {
    const std::uint32_t seconds = retry_after.value_or(0);
    reply.retry_after = seconds == 0 ? kBusyRetryAfterSeconds : std::min(seconds, kMaxRetryAfter);
  }
  return reply;
}

Reply JsonReply(std::string json) {
  Reply reply;
  reply.status = 200;
  reply.content_type = "application/json";
  reply.body = std::move(json);
  reply.body += '\n';
  return reply;
}

}  // namespace intake
