#include "store/sqlite/sqlite_connection.h"

namespace intake {
namespace {

// Long enough for a reader's checkpoint or another process's upgrade; short
// enough that an upload waits for a 503 rather than for ever.
constexpr int kBusyTimeoutMs = 5000;

[[noreturn]] void Fail(sqlite3* db, const char* what) {
  throw SqliteError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

StatementUse::~StatementUse() {
  sqlite3_reset(m_statement);
  sqlite3_clear_bindings(m_statement);
}

void StatementUse::Check(int rc, const char* what) const {
  if (rc != SQLITE_OK) Fail(m_db, what);
}

StatementUse& StatementUse::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(m_statement, index, value), "bind");
  return *this;
}

StatementUse& StatementUse::Bind(int index, std::string_view text) {
  Check(
      sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8),
      "bind");
  return *this;
}

StatementUse& StatementUse::BindBlob(int index, const void* data, std::size_t size) {
  Check(sqlite3_bind_blob64(m_statement, index, data, size, SQLITE_STATIC), "bind");
  return *this;
}

StatementUse& StatementUse::BindNull(int index) {
  Check(sqlite3_bind_null(m_statement, index), "bind");
  return *this;
}

StatementUse& StatementUse::Bind(int index, const std::optional<std::string>& text) {
  return text ? Bind(index, std::string_view(*text)) : BindNull(index);
}

bool StatementUse::Step() {
  int rc = sqlite3_step(m_statement);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(m_db, "step");
}

void StatementUse::Run() {
  while (Step()) {
  }
}

std::int64_t StatementUse::Int(int column) const {
  return sqlite3_column_int64(m_statement, column);
}

std::string StatementUse::Text(int column) const {
  const auto* text = sqlite3_column_text(m_statement, column);
  int size = sqlite3_column_bytes(m_statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
              : std::string();
}

bool StatementUse::IsNull(int column) const {
  return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

SqliteConnection::SqliteConnection(const std::string& path) {
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  m_db.reset(raw);  // a failed open still hands back a handle to close
  if (rc != SQLITE_OK) Fail(raw, ("open " + path).c_str());
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=FULL");
  Exec("PRAGMA foreign_keys=ON");
  Exec("PRAGMA cache_size=-65536");
  // journal_mode answers with the mode it got: a file system without shared
  // memory keeps the old mode, which would silently lose group commit's
  // concurrency with readers.
  auto mode = Use("PRAGMA journal_mode");
  if (!mode.Step() || mode.Text(0) != "wal") throw SqliteError("WAL mode unavailable for " + path);
}

void SqliteConnection::Exec(const char* sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, &message);
  std::unique_ptr<char, decltype(&sqlite3_free)> owned(message, &sqlite3_free);
  if (rc != SQLITE_OK) {
    throw SqliteError(std::string("exec: ") + (message ? message : sqlite3_errstr(rc)));
  }
}

UniqueStatement& SqliteConnection::Prepare(UniqueStatement& slot, const char* sql) {
  if (!slot) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v3(m_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    slot.reset(raw);
    if (rc != SQLITE_OK) Fail(m_db.get(), "prepare");
    if (!raw) throw SqliteError("prepare: no statement in the SQL");
  }
  return slot;
}

StatementUse SqliteConnection::Use(const char* sql) {
  return StatementUse(m_db.get(), Prepare(m_statements[sql], sql).get());
}

StatementUse SqliteConnection::UseComposed(const std::string& sql) {
  return StatementUse(m_db.get(), Prepare(m_composed[sql], sql.c_str()).get());
}

SqliteTransaction::SqliteTransaction(SqliteConnection& connection, TransactionKind kind)
    : m_connection(connection) {
  m_connection.Exec(kind == TransactionKind::kWrite ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
}

SqliteTransaction::~SqliteTransaction() {
  if (!m_open) return;
  // Nothing to do when ROLLBACK fails too: SQLite has already rolled back
  // after the errors that make it fail.
  sqlite3_exec(m_connection.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit() {
  m_connection.Exec("COMMIT");
  m_open = false;
}

}  // namespace intake
