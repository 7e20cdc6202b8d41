// The tool's commands. Each returns the process exit code, or raises a
// ToolError (tool_error.h) that main() turns into a line on stderr and the
// error's status. `args` are the words after the command's name.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace suite {

// dump FILE [--json]: every record and every skipped damaged span.
int DumpCommand(std::span<const std::wstring> args);

// log --kind error|warning|exception [--code N] [--value TEXT] [--module PATH] MESSAGE
int LogCommand(std::span<const std::wstring> args);

// report [--folder DIR]
int ReportCommand(std::span<const std::wstring> args);

// send --url URL [--timeout SECONDS]
int SendCommand(std::span<const std::wstring> args);

// config get SECTION KEY | config set SECTION KEY VALUE | config unset SECTION KEY
int ConfigCommand(std::span<const std::wstring> args);

// The usage text, with the exit statuses.
const wchar_t* UsageText();

}  // namespace suite
