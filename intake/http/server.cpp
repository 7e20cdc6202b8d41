#include "server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "http/connection.h"
#include "http/inflight_budget.h"

namespace intake {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {
// Out of file descriptors: wait a little before accepting again, rather
// than spin on the error.
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

// No exception leaves a handler: one that escapes (an allocation that failed
// while a connection was being set up) ends that handler, not the service.
void RunLoop(asio::io_context& io) {
  for (;;) {
    try {
      io.run();
      return;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "report-intake: a connection failed: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "report-intake: a connection failed\n");
    }
  }
}
}  // namespace

struct Server::Impl {
  Impl(const ServerOptions& options, UploadHandler& uploads, ReadApi& reads)
      : options(options),
        io(static_cast<int>(options.io_threads)),
        control(asio::make_strand(io)),
        acceptor(control),
        retry(control),
        guard(asio::make_work_guard(io)),
        workers(options.worker_threads),
        budget(options.max_inflight_bytes),
        tracker(
            [this](std::size_t open) { asio::post(control, [this, open] { OnClosed(open); }); }),
        services{{options.max_body_bytes, options.idle_timeout},
                 budget,
                 uploads,
                 reads,
                 workers,
                 tracker} {}

  void Accept() {
    if (stopping || accepting || tracker.open() >= options.max_connections) return;
    accepting = true;
    acceptor.async_accept(asio::make_strand(io),
                          [this](boost::system::error_code ec, tcp::socket socket) {
                            accepting = false;
                            if (stopping) return;
                            if (!ec) {
                              StartConnection(std::move(socket), services);
                              return Accept();
                            }
                            retry.expires_after(kAcceptRetry);
                            retry.async_wait([this](boost::system::error_code) { Accept(); });
                          });
  }

  void OnClosed(std::size_t open) {
    if (stopping) {
      if (open == 0) guard.reset();
      return;
    }
    Accept();
  }

  void BeginStop() {
    if (stopping) return;
    stopping = true;
    boost::system::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    tracker.DrainAll();
    if (tracker.open() == 0) guard.reset();
  }

  ServerOptions options;
  asio::io_context io;
  asio::strand<asio::io_context::executor_type> control;  // the acceptor's and the stop's
  tcp::acceptor acceptor;
  asio::steady_timer retry;
  asio::executor_work_guard<asio::io_context::executor_type> guard;
  asio::thread_pool workers;
  InflightBudget budget;
  ConnectionTracker tracker;
  ConnectionServices services;
  bool accepting = false;
  bool stopping = false;
};

Server::Server(const ServerOptions& options, UploadHandler& uploads, ReadApi& reads)
    : m_impl(std::make_unique<Impl>(options, uploads, reads)) {}

Server::~Server() { m_impl->workers.join(); }

bool Server::Listen(std::string* error) {
  boost::system::error_code ec;
  const auto address = asio::ip::make_address(m_impl->options.address, ec);
  if (ec) {
    *error = "not an IP address: " + m_impl->options.address;
    return false;
  }
  const tcp::endpoint endpoint(address, m_impl->options.port);
  auto& acceptor = m_impl->acceptor;
  if (acceptor.open(endpoint.protocol(), ec) ||
      acceptor.set_option(tcp::acceptor::reuse_address(true), ec) || acceptor.bind(endpoint, ec) ||
      acceptor.listen(asio::socket_base::max_listen_connections, ec)) {
    *error = "cannot listen on " + m_impl->options.address + ":" +
             std::to_string(m_impl->options.port) + ": " + ec.message();
    return false;
  }
  return true;
}

std::string Server::Url() const {
  boost::system::error_code ec;
  const tcp::endpoint bound = m_impl->acceptor.local_endpoint(ec);
  const std::string host = bound.address().is_v6() ? "[" + bound.address().to_string() + "]"
                                                   : bound.address().to_string();
  return "http://" + host + ":" + std::to_string(bound.port());
}

void Server::Run() {
  asio::post(m_impl->control, [impl = m_impl.get()] { impl->Accept(); });
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < m_impl->options.io_threads; ++i) {
    threads.emplace_back([impl = m_impl.get()] { RunLoop(impl->io); });
  }
  RunLoop(m_impl->io);
  for (auto& thread : threads) thread.join();
  m_impl->workers.join();
}

void Server::Stop() {
  asio::post(m_impl->control, [impl = m_impl.get()] { impl->BeginStop(); });
}

}  // namespace intake
