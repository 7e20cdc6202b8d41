// The command line of report-intake: `serve` and its options, each with its
// default, and the --help text that lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/server.h"

namespace intake {

struct ServeOptions {
  ServerOptions server;
  std::string store_url = "sqlite:intake.db";
  std::optional<std::string> token_file;
  std::uint32_t uploads_per_client_per_hour = 60;
  std::uint32_t keep_days = 90;
  bool keep_user_paths = false;
};

struct ParsedCommandLine {
  enum class Action { kServe, kHelp, kUsageError } action = Action::kUsageError;
  ServeOptions options;
  std::string error;  // for kUsageError, one line
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string HelpText();

}  // namespace intake
