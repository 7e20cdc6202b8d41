// One line per request on standard error: time, peer, method and path,
// status, key, bytes received, milliseconds. Thread-safe; a line is written
// with one call so lines of different threads never mix.
#pragma once

#include <cstdint>
#include <string_view>

namespace intake {

struct RequestLogLine {
  std::string_view peer;
  std::string_view method;
  std::string_view target;
  unsigned status = 0;
  std::string_view key;  // the Idempotency-Key, empty when none
  std::uint64_t bytes = 0;
  double milliseconds = 0;
};

void LogRequest(const RequestLogLine& line) noexcept;

}  // namespace intake
