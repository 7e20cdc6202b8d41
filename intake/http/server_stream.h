// The byte stream of one connection: plain TCP, or TLS over it. The
// connection reads and writes it the same way either way; deadlines and
// closing act on the TCP stream beneath. Only connection.cpp includes this
// (Asio's TLS and Beast compile slowly).
#pragma once

#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <optional>
#include <utility>

namespace intake {

class ServerStream {
 public:
  using Plain = boost::beast::tcp_stream;
  using Tls = boost::asio::ssl::stream<Plain>;
  using executor_type = Plain::executor_type;

  // With `tls` (which must outlive the stream) the connection speaks https.
  ServerStream(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context* tls) {
    if (tls) {
      m_tls.emplace(std::move(socket), *tls);
    } else {
      m_plain.emplace(std::move(socket));
    }
  }

  executor_type get_executor() { return Lowest().get_executor(); }
  Plain::socket_type& socket() { return Lowest().socket(); }
  void expires_after(std::chrono::steady_clock::duration limit) { Lowest().expires_after(limit); }
  void expires_never() { Lowest().expires_never(); }

  // Before the first request: the TLS handshake, which must be over within
  // `limit` (a client that stays silent holds nothing longer); nothing for
  // plain TCP. `done(error_code)` runs on the stream's executor.
  template <typename Done>
  void async_start(std::chrono::steady_clock::duration limit, Done done) {
    if (!m_tls) {
      boost::asio::post(get_executor(),
                        [done = std::move(done)]() mutable { done(boost::system::error_code{}); });
      return;
    }
    Lowest().expires_after(limit);
    m_tls->async_handshake(boost::asio::ssl::stream_base::server,
                           [this, done = std::move(done)](boost::system::error_code ec) mutable {
                             Lowest().expires_never();
                             done(ec);
                           });
  }

  template <typename Buffers, typename Token>
  auto async_read_some(const Buffers& buffers, Token&& token) {
    return boost::asio::async_initiate<Token, void(boost::system::error_code, std::size_t)>(
        [this](auto handler, const Buffers& in) {
          if (m_tls) {
            m_tls->async_read_some(in, std::move(handler));
          } else {
            m_plain->async_read_some(in, std::move(handler));
          }
        },
        token, buffers);
  }

  template <typename Buffers, typename Token>
  auto async_write_some(const Buffers& buffers, Token&& token) {
    return boost::asio::async_initiate<Token, void(boost::system::error_code, std::size_t)>(
        [this](auto handler, const Buffers& out) {
          if (m_tls) {
            m_tls->async_write_some(out, std::move(handler));
          } else {
            m_plain->async_write_some(out, std::move(handler));
          }
        },
        token, buffers);
  }

 private:
  Plain& Lowest() { return m_tls ? m_tls->next_layer() : *m_plain; }

  std::optional<Plain> m_plain;
  std::optional<Tls> m_tls;
};

}  // namespace intake
