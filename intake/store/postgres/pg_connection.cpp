#include "store/postgres/pg_connection.h"

#include <charconv>
#include <cstring>

namespace intake::pg {
namespace {

// A request waits at most this long for a server that does not answer; the
// client then gets 503 and retries later.
constexpr const char* kConnectTimeoutSeconds = "3";
// A session whose peer vanished without closing (a cut network) is given up
// after this long instead of waiting for the kernel's default of minutes.
constexpr const char* kTcpUserTimeoutMs = "10000";
// Bounds on one statement and on one lock wait, so that no request hangs on
// a stuck peer node; a full-size upload takes a small part of this.
constexpr const char* kSessionOptions = "-c statement_timeout=60000 -c lock_timeout=15000";

void IgnoreNotice(void*, const char*) {}

bool IsRetryState(const char* state) {
  return state != nullptr && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0);
}

// Class 08 is a connection exception; 57P0x the server shutting down or
// starting; 53 out of resources (such as too many connections).
bool IsUnavailableState(const char* state) {
  return state != nullptr &&
         (std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P", 3) == 0 ||
          std::strncmp(state, "53", 2) == 0);
}

}  // namespace

std::string QueryResult::text(int row, int col) const {
  const char* value = PQgetvalue(m_result.get(), row, col);
  return std::string(value, static_cast<std::size_t>(PQgetlength(m_result.get(), row, col)));
}

std::int64_t QueryResult::int64(int row, int col) const {
  const char* value = PQgetvalue(m_result.get(), row, col);
  const char* end = value + PQgetlength(m_result.get(), row, col);
  std::int64_t number = 0;
  std::from_chars(value, end, number);
  return number;
}

std::unique_ptr<Connection> Connection::Open(const std::string& url, std::string* error) {
  // Our defaults come first: the URL's own settings, expanded from dbname,
  // take their place where it names them.
  const char* keys[] = {"connect_timeout",  "tcp_user_timeout",
                        "keepalives_idle",  "keepalives_interval",
                        "keepalives_count", "client_encoding",
                        "application_name", "options",
                        "dbname",           nullptr};
  const char* values[] = {
      kConnectTimeoutSeconds, kTcpUserTimeoutMs, "5",         "2",    "3", "UTF8",
      "report-intake",        kSessionOptions,   url.c_str(), nullptr};
  ConnPtr conn(PQconnectdbParams(keys, values, 1));
  if (!conn) {
    *error = "out of memory";
    return nullptr;
  }
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    *error = PQerrorMessage(conn.get());
    while (!error->empty() && (error->back() == '\n' || error->back() == ' ')) error->pop_back();
    return nullptr;
  }
  PQsetNoticeProcessor(conn.get(), IgnoreNotice, nullptr);
  return std::unique_ptr<Connection>(new Connection(std::move(conn)));
}

QueryResult Connection::Classify(ResultPtr result) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
    return QueryResult(std::move(result), Failure::kNone, {}, {});
  }
  std::string message = result ? PQresultErrorMessage(result.get()) : PQerrorMessage(m_conn.get());
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  Failure failure = Failure::kOther;
  if (broken() || IsUnavailableState(state)) {
    failure = Failure::kConnection;
  } else if (IsRetryState(state)) {
    failure = Failure::kRetry;
  }
  std::string sqlstate = state ? state : "";
  return QueryResult(std::move(result), failure, std::move(message), std::move(sqlstate));
}

QueryResult Connection::Prepare(const Statement& statement) {
  if (m_prepared.contains(statement.name)) return QueryResult(nullptr, Failure::kNone, {}, {});
  QueryResult prepared =
      Classify(ResultPtr(PQprepare(m_conn.get(), statement.name, statement.sql, 0, nullptr)));
  if (prepared.ok()) m_prepared.insert(statement.name);
  return prepared;
}

QueryResult Connection::Exec(const Statement& statement, const Params& params) {
  QueryResult prepared = Prepare(statement);
  if (!prepared.ok()) return prepared;
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
  return Classify(
      ResultPtr(PQexecPrepared(m_conn.get(), statement.name, static_cast<int>(values.size()),
                               values.data(), nullptr, nullptr, 0)));
}

std::vector<QueryResult> Connection::ExecBatch(const std::vector<Call>& calls) {
  std::vector<QueryResult> results;
  results.reserve(calls.size());
  auto fail_rest = [&](QueryResult failure) {
    while (results.size() < calls.size()) {
      results.emplace_back(nullptr, failure.failure(), failure.message(), failure.sqlstate());
    }
    return std::move(results);
  };
  for (const Call& call : calls) {
    QueryResult prepared = Prepare(*call.statement);
    if (!prepared.ok()) return fail_rest(std::move(prepared));
  }
  if (PQenterPipelineMode(m_conn.get()) != 1) {
    return fail_rest(Classify(nullptr));
  }
  bool sent = true;
  for (const Call& call : calls) {
    std::vector<const char*> values;
    values.reserve(call.params.size());
    for (const auto& param : call.params) values.push_back(param ? param->c_str() : nullptr);
    sent = PQsendQueryPrepared(m_conn.get(), call.statement->name, static_cast<int>(values.size()),
                               values.data(), nullptr, nullptr, 0) == 1;
    if (!sent) break;
  }
  sent = sent && PQpipelineSync(m_conn.get()) == 1;
  if (sent) {
    // Each call's result, then the null that ends it; the sync's last.
    for (std::size_t i = 0; i < calls.size(); ++i) {
      ResultPtr result(PQgetResult(m_conn.get()));
      if (!result) break;
      const bool aborted = PQresultStatus(result.get()) == PGRES_PIPELINE_ABORTED;
      results.push_back(aborted ? QueryResult(nullptr, Failure::kOther,
                                              "not run: an earlier statement failed", {})
                                : Classify(std::move(result)));
      ResultPtr end(PQgetResult(m_conn.get()));
    }
    if (results.size() == calls.size()) ResultPtr sync(PQgetResult(m_conn.get()));
  }
  if (results.size() != calls.size() || PQexitPipelineMode(m_conn.get()) != 1) {
    // A session that lost its place in the pipeline cannot be trusted.
    m_poisoned = true;
    return fail_rest(QueryResult(nullptr, Failure::kConnection, "the session broke mid-batch", {}));
  }
  return results;
}

bool Connection::StillOpen() {
  PQconsumeInput(m_conn.get());
  return !broken();
}

QueryResult Connection::Run(const char* sql) {
  return Classify(ResultPtr(PQexec(m_conn.get(), sql)));
}

}  // namespace intake::pg
