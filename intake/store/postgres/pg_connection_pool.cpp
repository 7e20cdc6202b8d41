#include "store/postgres/pg_connection_pool.h"

namespace intake::pg {
namespace {

// After a failed connect, calls fail at once for this long instead of each
// trying again: a down server answers every request fast.
constexpr auto kQuietAfterFailure = std::chrono::milliseconds(500);
// How long a caller waits for a busy session before the answer is 503.
constexpr auto kWaitForSession = std::chrono::seconds(5);

}  // namespace

ConnectionPool::ConnectionPool(std::string url, std::size_t max_sessions)
    : m_url(std::move(url)), m_max_sessions(max_sessions) {}

ConnectionPool::Lease::~Lease() {
  if (m_conn) m_pool->Return(std::move(m_conn));
}

void ConnectionPool::Return(std::unique_ptr<Connection> conn) {
  std::lock_guard lock(m_mutex);
  if (conn->broken()) {
    --m_open;
  } else {
    m_idle.push_back(std::move(conn));
  }
  m_returned.notify_one();
}

std::unique_ptr<ConnectionPool::Lease> ConnectionPool::Acquire(std::string* error) {
  std::unique_lock lock(m_mutex);
  const auto now = std::chrono::steady_clock::now();
  if (now < m_quiet_until) {
    *error = m_last_error;
    return nullptr;
  }
  if (!m_returned.wait_until(lock, now + kWaitForSession,
                             [&] { return !m_idle.empty() || m_open < m_max_sessions; })) {
    *error = "every database session is busy";
    return nullptr;
  }
  while (!m_idle.empty()) {
    std::unique_ptr<Connection> conn = std::move(m_idle.back());
    m_idle.pop_back();
    if (conn->StillOpen()) return std::make_unique<Lease>(this, std::move(conn));
    --m_open;
  }
  ++m_open;
  lock.unlock();
  std::unique_ptr<Connection> conn = Connection::Open(m_url, error);
  lock.lock();
  if (!conn) {
    --m_open;
    m_quiet_until = std::chrono::steady_clock::now() + kQuietAfterFailure;
    m_last_error = *error;
    m_returned.notify_one();
    return nullptr;
  }
  return std::make_unique<Lease>(this, std::move(conn));
}

}  // namespace intake::pg
