// A minimal blocking HTTP/1.1 client for the benchmark: one keep-alive
// connection, one POST at a time. Not for anything but well-formed answers.
#pragma once

#include <cstdint>
#include <string>

#include "bench_reports.h"

namespace intake::bench {

class HttpSender {
 public:
  HttpSender(const std::string& host, std::uint16_t port);
  ~HttpSender();
  HttpSender(const HttpSender&) = delete;
  HttpSender& operator=(const HttpSender&) = delete;

  // The answer's status; 0 when the connection failed.
  int Post(const BenchReport& report);

 private:
  bool Connect();
  std::string m_host;
  std::uint16_t m_port;
  int m_socket = -1;
  std::string m_pending;  // bytes read past the last answer
};

}  // namespace intake::bench
