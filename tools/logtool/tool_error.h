// The tool's exit statuses and the one error that commands raise to end with
// one of them. main() is the only place that turns a ToolError into a line on
// stderr and an exit status, so every failure reads the same way.
#pragma once

#include <string>
#include <utility>

namespace suite {

enum class ExitStatus : int {
  kOk = 0,
  kInternal = 1,  // out of memory, an unexpected platform failure
  kUsage = 2,     // unknown command or option, missing or malformed value, refused URL
  kFile = 3,      // a file or folder cannot be read or written
  kLibrary = 4,   // LogError.dll or the sender class cannot be loaded, created or registered
  kNothing = 5,   // no report, sending not permitted now, a setting that is not set
  kNetwork = 6,   // no connection, name not resolved, TLS failure, timeout
  kRefused = 7,   // the server answered, but not with a 2xx status
  kDamaged = 8,   // dump: damaged spans were skipped (each is listed)
  kNotALog = 9,   // dump: empty, or a log of another format
  // unregister: the class is registered to another copy of the library, which
  // keeps it. Not a failure of the library: an uninstaller may go on.
  kOtherCopy = 10,
};

class ToolError {
 public:
  ToolError(ExitStatus status, std::wstring message)
      : m_status(status), m_message(std::move(message)) {}

  ExitStatus status() const noexcept { return m_status; }
  const std::wstring& message() const noexcept { return m_message; }

 private:
  ExitStatus m_status;
  std::wstring m_message;
};

[[noreturn]] inline void Fail(ExitStatus status, std::wstring message) {
  throw ToolError(status, std::move(message));
}

// "0x80040154": HRESULTs and NTSTATUS values read best in hexadecimal.
std::wstring HexCode(unsigned long code);
// The platform's text for a Win32 error code, with the code itself.
std::wstring SystemErrorText(unsigned long code);
// A text from the command line as a message quotes it: in quotes, cut after
// 60 characters, control characters shown as '?', so the message stays one
// short line whatever was typed.
std::wstring Shown(const std::wstring& text);

}  // namespace suite
