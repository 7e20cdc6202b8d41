// One client connection: reads requests under their deadlines, refuses what
// the headers already decide before the body is read, hands whole requests
// to the worker pool and writes the answers. A connection waiting for bytes
// holds no thread.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>

namespace intake {

class InflightBudget;
class ReadApi;
class UploadHandler;

// The open connections, so that a stop can drain them and the acceptor can
// resume when one closes. Thread-safe.
class ConnectionTracker {
 public:
  explicit ConnectionTracker(std::function<void(std::size_t open)> closed)
      : m_closed(std::move(closed)) {}
  std::uint64_t Add(std::function<void()> drain);
  void Remove(std::uint64_t id);
  // Asks every open connection to end after the request it is in.
  void DrainAll();
  std::size_t open() const;

 private:
  mutable std::mutex m_mutex;
  std::unordered_map<std::uint64_t, std::function<void()>> m_drains;
  std::uint64_t m_next = 0;
  std::function<void(std::size_t)> m_closed;
};

struct ConnectionLimits {
  std::uint64_t max_body_bytes = 80ull << 20;
  std::chrono::seconds idle_timeout{30};
};

struct ConnectionServices {
  ConnectionLimits limits;
  InflightBudget& budget;
  UploadHandler& uploads;
  ReadApi& reads;
  boost::asio::thread_pool& workers;
  ConnectionTracker& tracker;
};

// Takes the accepted socket (made on a strand of its own) and serves it
// until it closes.
void StartConnection(boost::asio::ip::tcp::socket socket, ConnectionServices& services);

}  // namespace intake
