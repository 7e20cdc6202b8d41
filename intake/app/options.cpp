#include "options.h"

#include <charconv>
#include <limits>

namespace intake {

namespace {

template <typename Number>
std::optional<Number> ParseNumber(const std::string& text, Number min, Number max) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

// "ADDR:PORT", "[V6]:PORT".
bool ParseListen(const std::string& text, ServerOptions& server) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const auto port = ParseNumber<std::uint16_t>(text.substr(colon + 1), 0, 65535);
  if (!port || host.empty()) return false;
  server.address = host;
  server.port = *port;
  return true;
}

}  // namespace

std::string HelpText() {
  return R"(usage: report-intake serve [OPTIONS]
       report-intake --help

Receives the suite's error reports (POST /reports) and keeps them in a
store; answers the read API (GET /api/..., with a bearer token) and
GET /healthz.

Options of serve (default in brackets):
  --listen ADDR:PORT        address and port to listen on; port 0 picks a free
                            one [127.0.0.1:8080]. The first line on standard
                            output is "listening on http://ADDR:PORT".
  --store URL               sqlite:PATH or postgresql://... [sqlite:intake.db]
  --token-file FILE         read API tokens, one per line; without it every
                            read API request is refused with 401 [none]
  --max-body-bytes N        largest upload body; larger ones get 413 before
                            they are read [83886080 (80 MiB)]
  --max-inflight-bytes N    bodies held in memory at once; an upload that
                            would pass it gets 503 with Retry-After
                            [268435456 (256 MiB)]
  --idle-timeout S          seconds of silence after which an unfinished
                            request gets 408; a request must also be whole
                            within 30 s plus 1 s per 64 KiB [30]
  --uploads-per-client-per-hour N
                            new uploads accepted per client and hour; more
                            get 429 with Retry-After [60]
  --keep-days N             days of per-day rows kept; upload keys are kept
                            at least 400 days [90]
  --keep-user-paths         keep user names in profile paths instead of
                            writing %USERPROFILE%\ [off]

Logs go to standard error, one line per request. SIGTERM or SIGINT stops
accepting, finishes the uploads in flight and exits 0.
)";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  const auto fail = [&](std::string error) {
    parsed.action = ParsedCommandLine::Action::kUsageError;
    parsed.error = std::move(error);
    return parsed;
  };
  if (args.empty()) return fail("a command is missing (serve, --help)");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    parsed.action = ParsedCommandLine::Action::kHelp;
    return parsed;
  }
  if (args[0] != "serve") return fail("unknown command " + args[0] + " (serve, --help)");
  ServeOptions& options = parsed.options;
  constexpr auto kU64 = std::numeric_limits<std::uint64_t>::max();
  constexpr auto kU32 = std::numeric_limits<std::uint32_t>::max();
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (name == "--help") {
      parsed.action = ParsedCommandLine::Action::kHelp;
      return parsed;
    }
    if (name == "--keep-user-paths") {
      if (value) return fail("--keep-user-paths takes no value");
      options.keep_user_paths = true;
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size()) return fail(name + " needs a value");
      value = args[++i];
    }
    const auto number = [&](auto min, auto max) { return ParseNumber(*value, min, max); };
    if (name == "--listen") {
      if (!ParseListen(*value, options.server)) return fail("--listen wants ADDR:PORT");
    } else if (name == "--store") {
      options.store_url = *value;
    } else if (name == "--token-file") {
      options.token_file = *value;
    } else if (name == "--max-body-bytes") {
      const auto n = number(std::uint64_t{1}, kU64);
      if (!n) return fail("--max-body-bytes wants a positive number of bytes");
      options.server.max_body_bytes = *n;
    } else if (name == "--max-inflight-bytes") {
      const auto n = number(std::uint64_t{1}, kU64);
      if (!n) return fail("--max-inflight-bytes wants a positive number of bytes");
      options.server.max_inflight_bytes = *n;
    } else if (name == "--idle-timeout") {
      const auto n = number(std::uint32_t{1}, std::uint32_t{86400});
      if (!n) return fail("--idle-timeout wants seconds from 1 to 86400");
      options.server.idle_timeout = std::chrono::seconds(*n);
    } else if (name == "--uploads-per-client-per-hour") {
      const auto n = number(std::uint32_t{1}, kU32);
      if (!n) return fail("--uploads-per-client-per-hour wants a positive number");
      options.uploads_per_client_per_hour = *n;
    } else if (name == "--keep-days") {
      const auto n = number(std::uint32_t{1}, std::uint32_t{100000});
      if (!n) return fail("--keep-days wants days from 1 to 100000");
      options.keep_days = *n;
    } else {
      return fail("unknown option " + name);
    }
  }
  // Otherwise an upload of the largest size could never be admitted.
  if (options.server.max_inflight_bytes < options.server.max_body_bytes) {
    return fail("--max-inflight-bytes must be at least --max-body-bytes");
  }
  parsed.action = ParsedCommandLine::Action::kServe;
  return parsed;
}

}  // namespace intake
