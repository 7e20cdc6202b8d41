#include "command_line.h"

#include "tool_error.h"

namespace suite {

CommandLine::CommandLine(const wchar_t* command, std::span<const std::wstring> args,
                         std::span<const OptionSpec> options)
    : m_command(command) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& word = args[i];
    if (optionsEnded || word.size() < 2 || word.compare(0, 2, L"--") != 0) {
      m_positionals.push_back(word);
      continue;
    }
    if (word == L"--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = word.find(L'=');
    const std::wstring name = word.substr(0, equals);
    const OptionSpec* match = nullptr;
    for (const OptionSpec& option : options) {
      if (name == option.name) match = &option;
    }
    if (match == nullptr) UsageError(L"unknown option " + Shown(name));
    if (m_values.count(name) != 0) UsageError(Shown(name) + L" is given twice");
    if (!match->takesValue) {
      if (equals != std::wstring::npos) UsageError(Shown(name) + L" takes no value");
      m_values[name];
      continue;
    }
    if (equals != std::wstring::npos) {
      m_values[name] = word.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      m_values[name] = args[++i];
    } else {
      UsageError(Shown(name) + L" needs a value");
    }
  }
}

std::optional<std::wstring> CommandLine::Value(const wchar_t* name) const {
  auto found = m_values.find(name);
  if (found == m_values.end()) return std::nullopt;
  return found->second;
}

void CommandLine::ExpectPositionals(std::size_t min, std::size_t max, const wchar_t* what) const {
  if (m_positionals.size() < min) UsageError(std::wstring(what) + L" is missing");
  if (m_positionals.size() > max) UsageError(L"unexpected argument " + Shown(m_positionals[max]));
}

void CommandLine::UsageError(const std::wstring& message) const {
  Fail(ExitStatus::kUsage, m_command + L": " + message + L" (see logtool help)");
}

std::optional<std::int64_t> ParseInteger(const std::wstring& text, std::int64_t min,
                                         std::int64_t max) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == L'-' || text[at] == L'+')) negative = text[at++] == L'-';
  if (at == text.size()) return std::nullopt;
  // No accepted range needs more than 18 digits, and 19 could overflow.
  if (text.size() - at > 18) return std::nullopt;
  std::int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < L'0' || text[at] > L'9') return std::nullopt;
    value = value * 10 + (text[at] - L'0');
  }
  if (negative) value = -value;
  if (value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace suite
