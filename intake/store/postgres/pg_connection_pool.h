// The sessions of one store, lent to one caller at a time. A session that
// broke is dropped on return, and the next caller connects afresh, so the
// store reconnects by itself when the server is back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store/postgres/pg_connection.h"

namespace intake::pg {

class ConnectionPool {
 public:
  ConnectionPool(std::string url, std::size_t max_sessions);

  class Lease {
   public:
    Lease(ConnectionPool* pool, std::unique_ptr<Connection> conn)
        : m_pool(pool), m_conn(std::move(conn)) {}
    Lease(Lease&&) = default;
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Connection& operator*() const { return *m_conn; }
    Connection* operator->() const { return m_conn.get(); }

   private:
    ConnectionPool* m_pool;
    std::unique_ptr<Connection> m_conn;
  };

  // A session, or null with the reason in *error when none can be had: the
  // server is unreachable (then later calls fail at once for a moment, so
  // that a down server costs requests nothing), or every session is busy
  // for longer than a request may wait.
  std::unique_ptr<Lease> Acquire(std::string* error);

 private:
  void Return(std::unique_ptr<Connection> conn);

  const std::string m_url;
  const std::size_t m_max_sessions;
  std::mutex m_mutex;
  std::condition_variable m_returned;
  std::vector<std::unique_ptr<Connection>> m_idle;
  std::size_t m_open = 0;  // idle and lent
  std::chrono::steady_clock::time_point m_quiet_until{};
  std::string m_last_error;
};

}  // namespace intake::pg
