// The options of one command: "--name value", "--name=value" and flags.
// "--" ends the options, so that a message may itself start with "--".
// Every mistake is a ToolError with ExitStatus::kUsage naming the command.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace suite {

struct OptionSpec {
  const wchar_t* name;  // with its leading "--"
  bool takesValue;
};

class CommandLine {
 public:
  // args: the words after the command's name.
  CommandLine(const wchar_t* command, std::span<const std::wstring> args,
              std::span<const OptionSpec> options);

  bool Has(const wchar_t* name) const { return m_values.count(name) != 0; }
  std::optional<std::wstring> Value(const wchar_t* name) const;
  const std::vector<std::wstring>& Positionals() const { return m_positionals; }

  // Fails unless there are between min and max words besides the options.
  void ExpectPositionals(std::size_t min, std::size_t max, const wchar_t* what) const;

  [[noreturn]] void UsageError(const std::wstring& message) const;

 private:
  std::wstring m_command;
  std::map<std::wstring, std::wstring> m_values;
  std::vector<std::wstring> m_positionals;
};

// A decimal number with an optional sign, within [min, max]; nothing else
// (no spaces, no hexadecimal, no trailing text).
std::optional<std::int64_t> ParseInteger(const std::wstring& text, std::int64_t min,
                                         std::int64_t max);

}  // namespace suite
