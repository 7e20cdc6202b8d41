// One session with the PostgreSQL server, and the results of its queries.
// A Connection is used by one thread at a time (the pool lends it out); it
// never throws and never blocks longer than libpq's timeouts allow.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/postgres/pg_handles.h"

namespace intake::pg {

// Why a query failed, as far as the caller must act on it.
enum class Failure {
  kNone,
  kConnection,  // the session is gone or unusable; the server rolled back
  kRetry,       // a deadlock or serialisation failure: run the transaction again
  kOther,       // any other error; the transaction is aborted
};

class QueryResult {
 public:
  QueryResult() = default;
  QueryResult(ResultPtr result, Failure failure, std::string message, std::string state)
      : m_result(std::move(result)),
        m_failure(failure),
        m_message(std::move(message)),
        m_state(std::move(state)) {}

  bool ok() const { return m_failure == Failure::kNone; }
  Failure failure() const { return m_failure; }
  const std::string& message() const { return m_message; }
  const std::string& sqlstate() const { return m_state; }  // empty when none

  int rows() const { return m_result ? PQntuples(m_result.get()) : 0; }
  bool is_null(int row, int col) const { return PQgetisnull(m_result.get(), row, col) != 0; }
  std::string text(int row, int col) const;
  std::int64_t int64(int row, int col) const;

 private:
  ResultPtr m_result;
  Failure m_failure = Failure::kConnection;
  std::string m_message;
  std::string m_state;
};

// A statement prepared once per session under its name. The SQL's casts
// give the parameters their types; every parameter is sent as text.
struct Statement {
  const char* name;
  const char* sql;
};

using Params = std::vector<std::optional<std::string>>;

class Connection {
 public:
  // Connects with a timeout of a few seconds; null with the reason in
  // *error when the server cannot be reached or refuses.
  static std::unique_ptr<Connection> Open(const std::string& url, std::string* error);

  QueryResult Exec(const Statement& statement, const Params& params);

  // Sends several statements at once and reads their results after (one
  // round trip instead of one each). Each result is in the place of its
  // call; after a failure, the later calls fail too, with no effect.
  struct Call {
    const Statement* statement;
    Params params;
  };
  std::vector<QueryResult> ExecBatch(const std::vector<Call>& calls);
  // A command without parameters (BEGIN, COMMIT, DDL), not prepared.
  QueryResult Run(const char* sql);

  bool broken() const { return m_poisoned || PQstatus(m_conn.get()) != CONNECTION_OK; }
  // Reads, without waiting, what the server sent while the session was idle:
  // a session that the server closed (a restart) then shows as broken.
  bool StillOpen();

 private:
  explicit Connection(ConnPtr conn) : m_conn(std::move(conn)) {}
  QueryResult Classify(ResultPtr result);
  QueryResult Prepare(const Statement& statement);

  ConnPtr m_conn;
  std::unordered_set<std::string> m_prepared;
  bool m_poisoned = false;
};

}  // namespace intake::pg
