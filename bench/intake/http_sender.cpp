#include "http_sender.h"

#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>
#include <string_view>

namespace intake::bench {

HttpSender::HttpSender(const std::string& host, std::uint16_t port) : m_host(host), m_port(port) {}

HttpSender::~HttpSender() {
  if (m_socket >= 0) ::close(m_socket);
}

bool HttpSender::Connect() {
  if (m_socket >= 0) return true;
  m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_socket < 0) return false;
  const int on = 1;
  ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(m_port);
  ::inet_pton(AF_INET, m_host.c_str(), &address.sin_addr);
  if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(m_socket);
    m_socket = -1;
    return false;
  }
  m_pending.clear();
  return true;
}

int HttpSender::Post(const BenchReport& report) {
  if (!Connect()) return 0;
  const std::string head =
      "POST /reports HTTP/1.1\r\nHost: " + m_host +
      "\r\nContent-Type: application/xml; charset=utf-8\r\nIdempotency-Key: " + report.key +
      "\r\nX-Client-Id: " + report.client +
      "\r\nContent-Length: " + std::to_string(report.body.size()) + "\r\n\r\n";
  for (std::string_view part : {std::string_view(head), std::string_view(report.body)}) {
    while (!part.empty()) {
      const ssize_t sent = ::send(m_socket, part.data(), part.size(), MSG_NOSIGNAL);
      if (sent <= 0) return 0;
      part.remove_prefix(static_cast<std::size_t>(sent));
    }
  }
  char buffer[4096];
  std::size_t end = std::string::npos;
  std::size_t length = 0;
  for (;;) {
    if (end == std::string::npos && (end = m_pending.find("\r\n\r\n")) != std::string::npos) {
      const auto field = m_pending.find("Content-Length: ");
      length = field < end ? std::strtoul(m_pending.c_str() + field + 16, nullptr, 10) : 0;
    }
    if (end != std::string::npos && m_pending.size() >= end + 4 + length) break;
    const ssize_t got = ::recv(m_socket, buffer, sizeof(buffer), 0);
    if (got <= 0) return 0;
    m_pending.append(buffer, static_cast<std::size_t>(got));
  }
  const int status = m_pending.size() > 12 ? std::atoi(m_pending.c_str() + 9) : 0;
  if (m_pending.find("Connection: close") < end) {
    ::close(m_socket);
    m_socket = -1;
  }
  m_pending.erase(0, end + 4 + length);
  return status;
}

}  // namespace intake::bench
