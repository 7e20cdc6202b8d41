#include "request_log.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace intake {

namespace {

// Client text in a log line is cut short and loses its control characters, so
// a sender cannot forge lines of its own.
void AppendShown(std::string& out, std::string_view text, std::size_t max) {
  if (text.empty()) {
    out += '-';
    return;
  }
  for (std::size_t i = 0; i < text.size() && i < max; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += c < 0x21 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  if (text.size() > max) out += "...";
}

}  // namespace

void LogRequest(const RequestLogLine& line) noexcept {
  try {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char stamp[40];
    const std::size_t length = std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(stamp + length, sizeof(stamp) - length, ".%03dZ", static_cast<int>(millis));
    std::string out = stamp;
    out += ' ';
    AppendShown(out, line.peer, 64);
    out += ' ';
    AppendShown(out, line.method, 16);
    out += ' ';
    AppendShown(out, line.target, 200);
    out += ' ' + std::to_string(line.status) + ' ';
    AppendShown(out, line.key, 64);
    char tail[64];
    std::snprintf(tail, sizeof(tail), " %llu %.1fms\n", static_cast<unsigned long long>(line.bytes),
                  line.milliseconds);
    out += tail;
    // One write per line: stderr is unbuffered, and write() keeps a line whole.
    [[maybe_unused]] const auto written = ::write(2, out.data(), out.size());
  } catch (...) {
    // A line that cannot be formatted is not worth a failed request.
  }
}

}  // namespace intake
