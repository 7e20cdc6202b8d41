// One SQLite connection with its prepared statements, and the scoped owners
// of everything it hands out. Not thread-safe: its owner serialises calls.
// Failures throw SqliteError; the store catches them at its interface.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace intake {

class SqliteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SqliteCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using UniqueSqlite = std::unique_ptr<sqlite3, SqliteCloser>;
using UniqueStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// One use of a cached statement: bind, step, read columns. Resets the
// statement and clears its bindings when it goes out of scope, on every path,
// so the next use starts clean and no read transaction stays open.
class StatementUse {
 public:
  StatementUse(sqlite3* db, sqlite3_stmt* statement) : m_db(db), m_statement(statement) {}
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  ~StatementUse();

  StatementUse& Bind(int index, std::int64_t value);
  StatementUse& Bind(int index, std::string_view text);
  StatementUse& Bind(int index, const std::string& text) {
    return Bind(index, std::string_view(text));
  }
  StatementUse& BindBlob(int index, const void* data, std::size_t size);
  StatementUse& BindNull(int index);
  StatementUse& Bind(int index, const std::optional<std::string>& text);

  // True while a row is there; false when done.
  bool Step();
  // Steps a statement that yields no row.
  void Run();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  void Check(int rc, const char* what) const;

  sqlite3* m_db;
  sqlite3_stmt* m_statement;
};

class SqliteConnection {
 public:
  // Opens (creating) the file, in WAL mode with synchronous=FULL.
  explicit SqliteConnection(const std::string& path);

  void Exec(const char* sql);
  // The statement for `sql`, prepared on first use and kept for the
  // connection's life. `sql` must be a string with static storage: the
  // cache keys by its address.
  StatementUse Use(const char* sql);
  // The same for SQL composed at run time (the read side's filters), keyed
  // by its text.
  StatementUse UseComposed(const std::string& sql);

  sqlite3* get() const { return m_db.get(); }

 private:
  // Declared before the statements so they are finalized first.
  UniqueSqlite m_db;
  UniqueStatement& Prepare(UniqueStatement& slot, const char* sql);

  std::unordered_map<const char*, UniqueStatement> m_statements;
  std::unordered_map<std::string, UniqueStatement> m_composed;
};

// BEGIN ... COMMIT; rolls back when it ends without Commit, so an error on
// any path leaves nothing half-written. A writer takes the write lock at
// BEGIN (IMMEDIATE), so its reads and writes see one state; a reader's
// (DEFERRED) statements share one snapshot.
enum class TransactionKind { kWrite, kRead };

class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteConnection& connection,
                             TransactionKind kind = TransactionKind::kWrite);
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  ~SqliteTransaction();

  void Commit();

 private:
  SqliteConnection& m_connection;
  bool m_open = true;
};

}  // namespace intake
